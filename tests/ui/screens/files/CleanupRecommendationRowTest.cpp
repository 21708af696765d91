#include "ui/screens/files/CleanupRecommendationRow.h"

#include "ui/screens/files/MeasuredHomeTestSupport.h"

#include "ui/components/TextStyle.h"

#include <QLabel>
#include <QPushButton>

#include <algorithm>

namespace {

using Action = CleanupRecommendation::Action;

CleanupRecommendation recommendation(Action action, std::vector<std::string> paths, std::int64_t bytes = 4'000'000,
                                     std::vector<std::int64_t> pathBytes = {})
{
    return {.title = "Title",
            .detail = "Detail",
            .paths = std::move(paths),
            .bytes = bytes,
            .action = std::move(action),
            .symbolName = "trash",
            .pathBytes = std::move(pathBytes)};
}

class CleanupRecommendationRowTest : public MeasuredHomeTest {};

} // namespace

TEST_F(CleanupRecommendationRowTest, TheActionDecidesWhichControlsTheRowOffers)
{
    struct Case {
        const char* name;
        Action action;
        std::vector<std::string> paths;
        const char* actionTitle;  // null: no action button
        bool copy;
        bool reveal;
    } cases[] = {
        {"command", Action::command("npm cache clean --force"), {"/h/.npm"}, nullptr, true, true},
        {"trash", Action::moveToTrash(), {"/h/a"}, "Move to Trash…", false, true},
        {"finder", Action::openInFinder(), {"/h/.local/share/Trash"}, "Open Trash", false, true},
        {"none", Action::none(), {"/h/b"}, nullptr, false, true},
        {"none without paths", Action::none(), {}, nullptr, false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CleanupRecommendationRow row(*model, recommendation(c.action, c.paths));
        EXPECT_EQ(row.actionButton() != nullptr, c.actionTitle != nullptr);
        if (c.actionTitle) {
            EXPECT_EQ(row.actionButton()->text(), QString::fromUtf8(c.actionTitle));
        }
        EXPECT_EQ(row.copyButton() != nullptr, c.copy);
        EXPECT_EQ(row.findChild<QLabel*>("terminalNote") != nullptr, c.copy);
        EXPECT_EQ(row.revealButton() != nullptr, c.reveal);
        EXPECT_EQ(row.findChildren<QWidget*>("path").size(), c.paths.size());
    }
}

TEST_F(CleanupRecommendationRowTest, SizesAndSafetyColours)
{
    EXPECT_EQ(CleanupRecommendationRow::sizeText(1'200'000'000, true), "1.20 GB+");
    EXPECT_EQ(CleanupRecommendationRow::sizeText(1'200'000'000, false), "1.20 GB");
    EXPECT_EQ(CleanupRecommendationRow::safetyColor(CleanupSafety::safe), NamedColor::green);
    EXPECT_EQ(CleanupRecommendationRow::safetyColor(CleanupSafety::review), NamedColor::orange);
    EXPECT_EQ(CleanupRecommendationRow::safetyColor(CleanupSafety::doNotRemove), NamedColor::red);
}

TEST_F(CleanupRecommendationRowTest, TrashCandidatesCarryTheSizeOfEachPath)
{
    struct Case {
        const char* name;
        std::vector<std::string> paths;
        std::vector<std::int64_t> pathBytes;
        std::vector<std::optional<std::int64_t>> sizes;
    } cases[] = {
        {"one path", {"/h/a"}, {}, {4'000'000}},
        {"three sized paths", {"/h/a", "/h/b", "/h/c.bin"}, {1'000'000, 2'500'000, 500'000},
         {1'000'000, 2'500'000, 500'000}},
        {"three paths of unknown sizes", {"/h/a", "/h/b", "/h/c.bin"}, {}, {std::nullopt, std::nullopt, std::nullopt}},
        {"no path", {}, {}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto candidates = CleanupRecommendationRow::trashCandidates(
            recommendation(Action::moveToTrash(), c.paths, 4'000'000, c.pathBytes));
        ASSERT_EQ(candidates.size(), c.paths.size());
        for (std::size_t i = 0; i < candidates.size(); ++i) {
            EXPECT_EQ(candidates[i].path, c.paths[i]);
            EXPECT_EQ(candidates[i].size, c.sizes[i]);
            EXPECT_TRUE(candidates[i].isDirectory);
            EXPECT_EQ(candidates[i].note, "Detail");
        }
    }
    EXPECT_EQ(CleanupRecommendationRow::trashCandidates(recommendation(Action::moveToTrash(), {"/h/x/c.bin"}))[0].name,
              "c.bin");
}
