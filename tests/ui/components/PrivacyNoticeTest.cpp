#include "ui/components/PrivacyNotice.h"
#include "ui/components/TextStyle.h"

#include "ui/UiTestSupport.h"

#include <QLabel>
#include <QVBoxLayout>

#include <gtest/gtest.h>

TEST(PrivacyNotice, BothFormsSayTheWholeStatement)
{
    ensureApplication();
    struct Case {
        bool compact;
        const char* second;
        TextStyle symbolStyle;
    };
    const Case cases[] = {
        {true, "Nothing is uploaded \u2014 not even to the developer.", TextStyle::body},
        {false,
         "Kestrelmoor does not upload your files or filesystem information. No one \u2014 including the developer "
         "\u2014 can see or share your data.",
         TextStyle::title3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.compact);
        // Narrow, so the long form has to wrap onto several lines.
        QWidget window;
        auto* column = new QVBoxLayout(&window);
        auto* notice = new PrivacyNotice(c.compact);
        column->addWidget(notice);
        column->addStretch(1);
        window.resize(220, 400);
        window.show();
        QCoreApplication::processEvents();

        auto* first = notice->findChild<QLabel*>("headline");
        auto* second = notice->findChild<QLabel*>("explanation");
        EXPECT_EQ(first->text(), QString::fromUtf8("Works offline. Your data stays on this Mac."));
        EXPECT_EQ(second->text(), QString::fromUtf8(c.second));
        EXPECT_EQ(notice->findChild<QLabel*>("symbol")->height(), QFontMetrics(textStyleFont(c.symbolStyle)).height());

        // Never cut short: the label is as tall as its wrapped text needs.
        EXPECT_GE(second->height(), second->heightForWidth(second->width()));
        EXPECT_LE(second->geometry().bottom(), notice->height());
        if (!c.compact) {
            EXPECT_GE(second->height(), 3 * second->fontMetrics().lineSpacing());
        }
    }
}

TEST(PrivacyNotice, Screenshot)
{
    ensureApplication();
    QWidget window;
    auto* column = new QVBoxLayout(&window);
    column->addWidget(new PrivacyNotice(true));
    column->addSpacing(16);
    column->addWidget(new PrivacyNotice(false));
    column->addStretch(1);
    window.resize(360, 200);
    window.show();
    QCoreApplication::processEvents();
    saveScreenshot(window, QStringLiteral("privacy-notice"));
}
