#include "ui/components/PrivacyNotice.h"
#include "ui/components/TextStyle.h"

#include "ui/support/UiTestSupport.h"

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
        EXPECT_EQ(first->text(), QString::fromUtf8("Works offline. Your data stays on this computer."));
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

TEST(PrivacyNotice, BothFormsStackedInAColumnShowEveryLineWithTheGreenShield)
{
    ensureApplication();
    QWidget window;
    auto* column = new QVBoxLayout(&window);
    auto* compact = new PrivacyNotice(true);
    auto* full = new PrivacyNotice(false);
    column->addWidget(compact);
    column->addSpacing(16);
    column->addWidget(full);
    column->addStretch(1);
    window.resize(360, 200);
    window.show();
    QCoreApplication::processEvents();

    EXPECT_GE(full->y(), compact->geometry().bottom() + 16);
    for (PrivacyNotice* notice : {compact, full}) {
        SCOPED_TRACE(notice->isCompact());
        for (const char* name : {"headline", "explanation"}) {
            auto* label = notice->findChild<QLabel*>(name);
            const QRect shown = label->geometry().translated(notice->mapTo(&window, QPoint()));
            EXPECT_TRUE(window.rect().contains(shown)) << name;
            EXPECT_GE(label->height(), label->heightForWidth(label->width())) << name;
        }
        const QImage symbol = notice->findChild<QLabel*>("symbol")->grab().toImage();
        int green = 0;
        for (int y = 0; y < symbol.height(); ++y)
            for (int x = 0; x < symbol.width(); ++x) {
                const QColor pixel = symbol.pixelColor(x, y);
                green += pixel.green() > pixel.red() + 40 && pixel.green() > pixel.blue() + 40 ? 1 : 0;
            }
        EXPECT_GT(green, symbol.width() * symbol.height() / 10);
    }
    saveScreenshot(window, QStringLiteral("privacy-notice"));
}
