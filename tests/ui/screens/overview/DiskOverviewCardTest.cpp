#include "ui/screens/overview/DiskOverviewCard.h"

#include "ui/screens/overview/OverviewTestSupport.h"

#include "analysis/ByteFormatter.h"
#include "support/ScannedTree.h"
#include "analysis/StorageAnalyzer.h"

#include <QLabel>

#include <gtest/gtest.h>

#include <ctime>

namespace {

VolumeInfo formattedVolume(std::int64_t total, std::int64_t important, std::int64_t strict)
{
    VolumeInfo info = rootVolume(total, important, strict);
    info.formatDescription = "ext4";
    return info;
}

QStringList titles(const std::vector<DiskOverviewCard::Figure>& figures)
{
    QStringList result;
    for (const auto& figure : figures)
        result << figure.title;
    return result;
}

TEST(DiskOverviewCardTest, FiguresAgreeWithTheIndexOfARealScan)
{
    ensureApplication();
    TempDir tree;
    tree.write("disk/Documents/report.pdf", 300'000);
    tree.write("disk/Movies/clip.mov", 2'000'000);
    tree.write("disk/src/main.cpp", 40'000);
    ScannedTree scanned;
    scanned.scan({tree.file("disk")});

    const VolumeInfo volume = formattedVolume(100'000'000, 40'000'000, 40'000'000);
    const StorageSummary summary =
        StorageAnalyzer::loadSummary(scanned.database, volume, static_cast<double>(std::time(nullptr)));
    const ScanTotals totals = scanned.database.totals();
    ASSERT_GT(totals.allocatedBytes, 2'000'000);
    std::int64_t categorized = 0;
    for (const CategoryUsage& usage : scanned.database.categoryTotals())
        categorized += usage.bytes;

    const auto figures = DiskOverviewCard::figures(summary);
    EXPECT_EQ(titles(figures), QStringList({"Used", "Available", "Total", "System & Unscanned"}));
    EXPECT_EQ(figures[0].bytes, 60'000'000);
    EXPECT_EQ(figures[1].bytes, 40'000'000);
    EXPECT_EQ(figures[2].bytes, 100'000'000);
    EXPECT_EQ(figures[3].bytes, 60'000'000 - std::min(totals.allocatedBytes, categorized));
    // The space of a Linux volume that no file accounts for, said in its own terms.
    EXPECT_FALSE(figures[3].help.contains("macOS") || figures[3].help.contains("APFS")) << figures[3].help.toStdString();
    EXPECT_EQ(DiskOverviewCard::usedText(volume), "60% used");

    DiskOverviewCard card(summary);
    card.resize(720, card.sizeHint().height());
    card.show();
    QCoreApplication::processEvents();
    EXPECT_EQ(card.findChild<QLabel*>("volumeName")->text(), "Root");
    EXPECT_EQ(card.findChild<QLabel*>("volumeFormat")->text(), "ext4");
    EXPECT_EQ(card.findChild<QLabel*>("usedShare")->text(), "60% used");
    int shownFigures = 0;
    for (QWidget* figure : card.findChildren<QWidget*>("figure"))
        shownFigures += figure->isVisibleTo(&card) ? 1 : 0;
    EXPECT_EQ(shownFigures, 4);
    saveScreenshot(card, QStringLiteral("disk-overview-card"));
}

TEST(DiskOverviewCardTest, WhichFiguresAreShown)
{
    struct Row {
        const char* name;
        std::optional<VolumeInfo> volume;
        std::int64_t indexed;
        QStringList titles;
    };
    const QStringList basic{"Used", "Available", "Total"};
    const Row rows[] = {
        {"no volume", std::nullopt, 100, {}},
        {"an empty index", rootVolume(1000, 400, 400), 0, basic},
        {"purgeable space", rootVolume(1000, 400, 300), 0, basic + QStringList{"Purgeable"}},
        {"strict larger", rootVolume(1000, 300, 400), 0, basic},
        {"indexed", rootVolume(1000, 400, 300), 100, basic + QStringList{"Purgeable", "System & Unscanned"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        StorageSummary summary;
        summary.volume = row.volume;
        summary.totals.allocatedBytes = row.indexed;
        EXPECT_EQ(titles(DiskOverviewCard::figures(summary)), row.titles);
    }
}

TEST(DiskOverviewCardTest, WithoutAVolumeOnlyTheUnavailableTextShows)
{
    ensureApplication();
    DiskOverviewCard card{StorageSummary{}};
    ASSERT_NE(card.findChild<QLabel*>("unavailable"), nullptr);
    EXPECT_EQ(card.findChild<QLabel*>("unavailable")->text(), "Disk capacity is unavailable.");
    EXPECT_TRUE(card.findChild<QLabel*>("unavailable")->isVisibleTo(&card));
    EXPECT_FALSE(card.findChild<QLabel*>("usedShare")->isVisibleTo(&card));

    // A summary with a volume fills the same card.
    StorageSummary summary;
    summary.volume = rootVolume(1000, 400, 400);
    summary.volume->formatDescription.reset();
    QLabel* used = card.findChild<QLabel*>("usedShare");
    card.setSummary(summary);
    EXPECT_FALSE(card.findChild<QLabel*>("unavailable")->isVisibleTo(&card));
    EXPECT_EQ(card.findChild<QLabel*>("usedShare"), used);
    EXPECT_TRUE(used->isVisibleTo(&card));
    EXPECT_EQ(used->text(), "60% used");
    EXPECT_EQ(card.findChild<QLabel*>("volumeFormat")->text(), "");
}

} // namespace
