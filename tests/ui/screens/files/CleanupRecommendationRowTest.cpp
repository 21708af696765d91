#include "ui/screens/files/CleanupRecommendationRow.h"

#include "ui/screens/files/MeasuredHomeTestSupport.h"

#include "ui/components/TextStyle.h"

#include "ui/screens/files/CleanupView.h"

#include <QLabel>
#include <QPushButton>

#include <algorithm>

namespace {

using Action = CleanupRecommendation::Action;

CleanupRecommendation recommendation(Action action, std::vector<std::string> paths, std::int64_t bytes = 4'000'000,
                                     std::vector<std::int64_t> pathBytes = {})
{
    return {"Title", "Detail", std::move(paths), bytes, false, CleanupSafety::safe, std::move(action), "trash",
            std::move(pathBytes)};
}

CleanupRecommendationRow* rowTitled(CleanupView& view, const std::string& title)
{
    for (CleanupRecommendationRow* row : view.rows())
        if (row->item().title == title)
            return row;
    return nullptr;
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

TEST_F(CleanupRecommendationRowTest, MovingSeveralMeasuredPathsAsksWithTheirRealTotal)
{
    write(".cache/google-chrome/Default/Cache/data", 14'000'000);
    write(".cache/mozilla/firefox/cache2/entries", 11'000'000);
    scanHome();
    CleanupView view(*model, nullptr, noSystem());
    ASSERT_TRUE(waitUntil([&] { return !view.isLoading(); }));
    CleanupRecommendationRow* browsers = rowTitled(view, "Browser caches");
    ASSERT_NE(browsers, nullptr);
    ASSERT_EQ(browsers->item().paths.size(), 2u);
    browsers->actionButton()->click();
    ASSERT_TRUE(waitUntil([&] { return model->trashRequest().has_value() || model->alert().has_value(); }));
    ASSERT_TRUE(model->trashRequest().has_value()) << model->alert()->message;
    std::int64_t total = 0;
    for (const TrashCandidate& candidate : model->trashRequest()->candidates) {
        ASSERT_TRUE(candidate.size.has_value()) << candidate.path;
        total += *candidate.size;
    }
    EXPECT_EQ(total, browsers->item().bytes);
    EXPECT_GE(total, 25'000'000);
}

TEST_F(CleanupRecommendationRowTest, CopiedFollowsTheCommandLastCopiedOnTheScreen)
{
    write(".npm/_cacache/index/blob", 12'000'000);
    write(".cache/yarn/v6/package.tgz", 11'000'000);
    CleanupView view(*model, nullptr, noSystem());
    ASSERT_TRUE(waitUntil([&] { return !view.isLoading(); }));
    CleanupRecommendationRow* npm = rowTitled(view, "npm cache");
    CleanupRecommendationRow* yarn = rowTitled(view, "Yarn cache");
    ASSERT_TRUE(npm && yarn);
    EXPECT_EQ(npm->copyButton()->text(), "Copy Command");

    npm->copyButton()->click();
    EXPECT_EQ(npm->copyButton()->text(), "Copied");
    EXPECT_EQ(yarn->copyButton()->text(), "Copy Command");
    yarn->copyButton()->click();
    EXPECT_EQ(npm->copyButton()->text(), "Copy Command");
    EXPECT_EQ(yarn->copyButton()->text(), "Copied");
    EXPECT_EQ(desktop->copied, (std::vector<std::string>{"npm cache clean --force", "yarn cache clean"}));
    EXPECT_EQ(view.copiedCommand(), "yarn cache clean");
}

TEST_F(CleanupRecommendationRowTest, OpenTrashShowsTheTrashAndRevealTheFirstPath)
{
    write(".local/share/Trash/files/old.iso", 3'000'000);
    CleanupView view(*model, nullptr, noSystem());
    ASSERT_TRUE(waitUntil([&] { return !view.isLoading(); }));
    CleanupRecommendationRow* trash = rowTitled(view, "Trash");
    ASSERT_NE(trash, nullptr);
    trash->actionButton()->click();
    EXPECT_EQ(desktop->openedFolders, (std::vector<std::string>{inHome(".local/share/Trash/files")}));
    trash->revealButton()->click();
    ASSERT_EQ(desktop->revealed.size(), 1u);
    EXPECT_EQ(desktop->revealed[0], (std::vector<std::string>{inHome(".local/share/Trash")}));
}
