#include "ui/components/CategoryColor.h"
#include "ui/components/ElidedLabel.h"
#include "ui/components/EmptyStateView.h"
#include "ui/components/LocaleText.h"
#include "ui/components/TextStyle.h"
#include "ui/components/UsageBar.h"

#include "ui/support/UiTestSupport.h"

#include <QLabel>
#include <QPushButton>

#include <gtest/gtest.h>

#include <unicode/timezone.h>

#include <cmath>
#include <limits>
#include <set>

namespace {

// Dates in the tests read the same wherever they run.
struct UtcZone {
    UtcZone()
    {
        previous.reset(icu::TimeZone::createDefault());
        icu::TimeZone::adoptDefault(icu::TimeZone::createTimeZone("UTC"));
    }
    ~UtcZone() { icu::TimeZone::setDefault(*previous); }
    std::unique_ptr<icu::TimeZone> previous;
};

} // namespace

TEST(LocaleText, EnglishNumbersAndDates)
{
    ensureApplication();
    UtcZone utc;
    EXPECT_EQ(LocaleText::integer(4096), "4,096");
    EXPECT_EQ(LocaleText::integer(12), "12");
    EXPECT_EQ(LocaleText::integer(-1234567), "-1,234,567");
    EXPECT_EQ(LocaleText::count(1, "file", "files"), "1 file");
    EXPECT_EQ(LocaleText::count(0, "file", "files"), "0 files");
    EXPECT_EQ(LocaleText::count(-1, "file", "files"), "-1 files");
    EXPECT_EQ(LocaleText::count(1001, "process", "processes"), "1,001 processes");

    const double moment = 1700000000;   // 2023-11-14 22:13:20 UTC
    EXPECT_EQ(LocaleText::abbreviatedDate(moment), "Nov 14, 2023");
    // ICU puts a narrow no-break space before the day period, as current systems do.
    EXPECT_EQ(LocaleText::abbreviatedDate(moment, LocaleText::TimeStyle::shortened),
              QString::fromUtf8("Nov 14, 2023, 10:13\u202fPM"));
    EXPECT_EQ(LocaleText::abbreviatedDate(moment, LocaleText::TimeStyle::standard),
              QString::fromUtf8("Nov 14, 2023, 10:13:20\u202fPM"));
    EXPECT_EQ(LocaleText::timeOfDay(moment + 3 * 3600), QString::fromUtf8("1:13:20\u202fAM"));
    EXPECT_EQ(LocaleText::abbreviatedDate(std::optional<double>()), QString::fromUtf8("—"));
    EXPECT_EQ(LocaleText::abbreviatedDate(std::optional<double>(0.0)), "Jan 1, 1970");

    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    EXPECT_EQ(LocaleText::integer(4096), "4.096");
    EXPECT_EQ(LocaleText::abbreviatedDate(moment), "14.11.2023");
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    EXPECT_EQ(LocaleText::abbreviatedDate(moment), "Nov 14, 2023");

    // Formatters made for one zone are not reused in another: Tokyo is already on the next day.
    icu::TimeZone::adoptDefault(icu::TimeZone::createTimeZone("Asia/Tokyo"));
    EXPECT_EQ(LocaleText::abbreviatedDate(moment), "Nov 15, 2023");
    EXPECT_EQ(LocaleText::timeOfDay(moment), QString::fromUtf8("7:13:20\u202fAM"));
    icu::TimeZone::adoptDefault(icu::TimeZone::createTimeZone("UTC"));
    EXPECT_EQ(LocaleText::abbreviatedDate(moment), "Nov 14, 2023");
}

TEST(UsageBar, DrawsClampedAndReportsTheShareAsGiven)
{
    ensureApplication();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    struct Case {
        double fraction;
        double fill;
        const char* spoken;
    };
    const Case cases[] = {
        {0.5, 100, "50%"}, {1.0, 200, "100%"}, {0.0, 0, "0%"},  {1.5, 200, "150%"},
        {-0.2, 0, "-20%"}, {nan, 0, "—"},     {inf, 0, "—"},   {-inf, 0, "—"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fraction);
        EXPECT_DOUBLE_EQ(UsageBar::fillWidth(c.fraction, 200), c.fill);
        UsageBar bar(c.fraction, NamedColor::blue, 6);
        EXPECT_EQ(bar.accessibleDescription(), QString::fromUtf8(c.spoken));
        EXPECT_EQ(bar.height(), 6);
    }
    EXPECT_DOUBLE_EQ(UsageBar::fillWidth(0.5, -10), 0);
}

TEST(CategoryColor, EveryCategoryHasItsOwnColour)
{
    std::set<QRgb> seen;
    for (StorageCategory category : allStorageCategories()) {
        const QColor color = categoryColor(category);
        EXPECT_EQ(color.alpha(), 255);
        EXPECT_TRUE(seen.insert(color.rgb()).second) << displayName(category);
    }
    EXPECT_EQ(categoryColor(StorageCategory::xcode), QColor::fromRgbF(0.2f, 0.55f, 0.95f));
    EXPECT_EQ(categoryColor(StorageCategory::docker), QColor::fromRgbF(0.1f, 0.6f, 0.85f));
    EXPECT_LT(categoryColor(StorageCategory::system).lightness(), categoryColor(StorageCategory::trash).lightness());
}

TEST(ElidedLabel, ShortensInTheMiddleOrAtTheHead)
{
    ensureApplication();
    const QString path = QStringLiteral("/home/someone/Projects/kestrel/build/output/very-long-file-name.bin");
    ElidedLabel middle(path, Qt::ElideMiddle);
    middle.resize(160, 20);
    const QString shown = middle.shownText();
    EXPECT_TRUE(shown.startsWith(QStringLiteral("/home")));
    EXPECT_TRUE(shown.endsWith(QStringLiteral(".bin")));
    EXPECT_TRUE(shown.contains(QChar(0x2026)));

    ElidedLabel head(path, Qt::ElideLeft);
    head.resize(260, 20);
    EXPECT_TRUE(head.shownText().startsWith(QChar(0x2026)));
    EXPECT_TRUE(head.shownText().endsWith(QStringLiteral("very-long-file-name.bin")));

    head.resize(2000, 20);
    EXPECT_EQ(head.shownText(), path);
}

TEST(EmptyStateView, ShowsItsTextsAndOneDefaultAction)
{
    ensureApplication();
    EmptyStateView view(QStringLiteral("magnifyingglass"), QStringLiteral("No Results"));
    EXPECT_EQ(view.action(), nullptr);
    QPushButton* button = view.addAction(QStringLiteral("Scan Computer"));
    EXPECT_EQ(view.addAction(QStringLiteral("Scan Again")), button);
    EXPECT_TRUE(button->isDefault());
    view.setDescription(QStringLiteral("Try a different search."));
    view.resize(480, 320);
    EXPECT_EQ(view.description(), QStringLiteral("Try a different search."));
    saveScreenshot(view, QStringLiteral("empty-state"));

    // A description of several lines is shown whole, centred and no wider than a
    // comfortable reading width.
    view.setDescription(QStringLiteral("Scan your computer to see what's using space. Scanning is read-only and runs on "
                                       "this computer only. Nothing is uploaded, and nothing is changed on disk."));
    view.resize(640, 420);
    view.show();
    QCoreApplication::processEvents();
    auto* description = view.findChildren<QLabel*>().at(2);
    ASSERT_EQ(description->text(), view.description());
    EXPECT_LE(description->width(), 420);
    EXPECT_GE(description->height(), description->heightForWidth(description->width()));
    EXPECT_GE(description->height(), 2 * description->fontMetrics().lineSpacing());
    EXPECT_NEAR(description->geometry().center().x(), view.width() / 2, 2);
    saveScreenshot(view, QStringLiteral("empty-state-long"));
}
