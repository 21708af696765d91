#include "ui/screens/files/CleanupView.h"

#include "ui/screens/files/MeasuredHomeTestSupport.h"

#include "analysis/ByteFormatter.h"
#include "app/QtText.h"
#include "ui/components/EmptyStateView.h"
#include "ui/components/SectionCard.h"
#include "ui/screens/files/CleanupRecommendationRow.h"
#include "ui/screens/frame/DetailRouter.h"

#include <QLabel>
#include <QPushButton>

#include <algorithm>

namespace {

using Action = CleanupRecommendation::Action;

std::vector<SectionCard*> cards(CleanupView& view)
{
    std::vector<SectionCard*> shown;
    for (SectionCard* card : view.widget()->findChildren<SectionCard*>("safetyCard"))
        if (card->isVisibleTo(&view))
            shown.push_back(card);
    // Cards are listed in layout order, top to bottom.
    std::sort(shown.begin(), shown.end(), [](SectionCard* a, SectionCard* b) { return a->y() < b->y(); });
    return shown;
}

CleanupRecommendationRow* rowTitled(CleanupView& view, const std::string& title)
{
    for (CleanupRecommendationRow* row : view.rows())
        if (row->item().title == title)
            return row;
    return nullptr;
}

bool settled(CleanupView& view)
{
    return !view.isLoading();
}

class CleanupViewTest : public MeasuredHomeTest {
protected:
    // Places of several safety levels and actions, as a Linux home holds them.
    void fillHome()
    {
        write(".cache/thumbnails/large/a.png", 60'000'000);
        write(".cache/yarn/v6/package.tgz", 11'000'000);
        write(".npm/_cacache/index/blob", 12'000'000);
        write(".cache/google-chrome/Default/Cache/data", 14'000'000);
        write(".cache/mozilla/firefox/cache2/entries", 11'000'000);
        write(".local/share/Trash/files/old.iso", 3'000'000);
        write(".local/share/Trash/info/old.iso.trashinfo", 20);
        write(".local/share/app/state.db", 2'000'000);
        write(".pnpm-store/v3/files/blob", 10'500'000);
    }
};

} // namespace

TEST_F(CleanupViewTest, TheRouterBuildsTheScreen)
{
    std::unique_ptr<QWidget> screen(DetailRouter::makeScreen(SidebarItem::cleanup, *model, nullptr));
    EXPECT_NE(dynamic_cast<CleanupView*>(screen.get()), nullptr);
    ASSERT_TRUE(waitUntil([&] { return settled(*static_cast<CleanupView*>(screen.get())); }));
}

TEST_F(CleanupViewTest, CardsPerSafetyLevelWithTotalsAndDividersFromAScannedHome)
{
    fillHome();
    scanHome();
    CleanupView view(*model, nullptr, noSystem());
    view.resize(820, 1400);
    view.show();
    EXPECT_TRUE(view.isLoading());
    EXPECT_FALSE(view.refreshButton()->isEnabled());
    EXPECT_FALSE(view.findChild<EmptyStateView*>("emptyState")->isVisible());
    ASSERT_TRUE(waitUntil([&] { return settled(view); }));
    EXPECT_TRUE(view.refreshButton()->isEnabled());
    EXPECT_FALSE(view.findChild<QWidget*>("progressLine")->isVisible());

    std::vector<std::string> titles;
    for (const auto& item : view.recommendations()) titles.push_back(item.title);
    for (const char* expected : {"Application caches: thumbnails", "Browser caches", "npm cache", "Yarn cache",
                                 "pnpm store", "Trash", "Application Data"})
        EXPECT_NE(std::find(titles.begin(), titles.end(), expected), titles.end()) << expected;

    const auto shown = cards(view);
    struct Expected {
        CleanupSafety safety;
        QString title;
    } expected[] = {{CleanupSafety::safe, "Safe to Remove"},
                    {CleanupSafety::review, "Review Before Removing"},
                    {CleanupSafety::doNotRemove, "Do Not Remove"}};
    ASSERT_EQ(shown.size(), 3u);
    for (std::size_t i = 0; i < 3; ++i) {
        SCOPED_TRACE(expected[i].title.toStdString());
        const auto items = CleanupView::itemsOf(expected[i].safety, view.recommendations());
        EXPECT_EQ(shown[i]->title(), expected[i].title);
        auto* total = qobject_cast<QLabel*>(shown[i]->accessory());
        ASSERT_NE(total, nullptr);
        EXPECT_EQ(total->text(), qstr(ByteFormatter::string(CleanupView::totalBytes(items))));
        EXPECT_EQ(shown[i]->content()->findChildren<CleanupRecommendationRow*>().size(), items.size());
        int dividers = 0;
        for (QFrame* line : shown[i]->content()->findChildren<QFrame*>("divider"))
            dividers += line->isVisibleTo(&view) ? 1 : 0;
        EXPECT_EQ(dividers, static_cast<int>(items.size()) - 1);
    }
    EXPECT_FALSE(view.findChild<EmptyStateView*>("emptyState")->isVisible());
    // Cards added to a shown page appear with the next turn of the event loop.
    for (int turn = 0; turn < 5; ++turn)
        QCoreApplication::processEvents();
    saveScreenshot(view, QStringLiteral("cleanup-view"));
}

TEST_F(CleanupViewTest, GroupingKeepsTheListOrderAndTotalsPartialItemsLikeAnyOther)
{
    auto make = [](std::string title, std::int64_t bytes, bool partial, CleanupSafety safety) {
        return CleanupRecommendation{std::move(title), "", {"/p/" + std::to_string(bytes)}, bytes, partial, safety,
                                     Action::none(), "trash", {bytes}};
    };
    const std::vector<CleanupRecommendation> list = {make("A", 900, false, CleanupSafety::review),
                                                     make("B", 500, true, CleanupSafety::safe),
                                                     make("C", 300, false, CleanupSafety::review)};
    struct Case {
        CleanupSafety safety;
        std::vector<std::string> titles;
        std::int64_t total;
    } cases[] = {{CleanupSafety::safe, {"B"}, 500},
                 {CleanupSafety::review, {"A", "C"}, 1200},
                 {CleanupSafety::doNotRemove, {}, 0}};
    for (const auto& c : cases) {
        const auto items = CleanupView::itemsOf(c.safety, list);
        std::vector<std::string> titles;
        for (const auto& item : items) titles.push_back(item.title);
        EXPECT_EQ(titles, c.titles);
        EXPECT_EQ(CleanupView::totalBytes(items), c.total);
    }
    EXPECT_STREQ(CleanupView::cardSymbol(CleanupSafety::safe), "checkmark.shield");
    EXPECT_STREQ(CleanupView::cardSymbol(CleanupSafety::review), "eye");
    EXPECT_STREQ(CleanupView::cardSymbol(CleanupSafety::doNotRemove), "hand.raised");
}

TEST_F(CleanupViewTest, NothingToRecommendOnlyOnceALoadHasFinishedEmpty)
{
    CleanupView view(*model, nullptr, noSystem());
    view.show();
    auto* empty = view.findChild<EmptyStateView*>("emptyState");
    EXPECT_FALSE(empty->isVisible());
    ASSERT_TRUE(waitUntil([&] { return settled(view); }));
    EXPECT_TRUE(view.recommendations().empty());
    EXPECT_TRUE(empty->isVisible());
    EXPECT_EQ(empty->title(), "Nothing to recommend");
    EXPECT_TRUE(cards(view).empty());

    // A reload keeps the previous result and hides the empty state while it runs.
    view.load();
    EXPECT_FALSE(empty->isVisible());
    EXPECT_TRUE(view.findChild<QWidget*>("progressLine")->isVisible());
    ASSERT_TRUE(waitUntil([&] { return settled(view); }));
}

TEST_F(CleanupViewTest, AnOvertakenOrStoppedAnalysisIsNeverStored)
{
    fillHome();
    scanHome();
    CleanupView view(*model, nullptr, noSystem());
    int stored = 0;
    QObject::connect(&view, &CleanupView::recommendationsChanged, [&] { ++stored; });
    // Refreshed before the first analysis could answer: only the second one counts.
    view.load();
    ASSERT_TRUE(waitUntil([&] { return settled(view); }));
    EXPECT_EQ(stored, 1);
    const auto complete = CleanupView::analyze(home.path(), database.get(), noSystem(), nullptr, {});
    ASSERT_TRUE(complete.has_value());
    EXPECT_EQ(view.recommendations(), *complete);
    EXPECT_TRUE(view.current().isEmpty());

    // A data change (a removal, a finished scan) analyzes again, into the rows already shown.
    const std::vector<CleanupRecommendationRow*> before = view.rows();
    ASSERT_FALSE(before.empty());
    QPushButton* focused = before.front()->findChild<QPushButton*>();
    if (focused)
        focused->setFocus();
    model->scan().dataChanged();
    ASSERT_TRUE(waitUntil([&] { return model->scan().dataVersion() == 1 && settled(view); }));
    EXPECT_EQ(stored, 2);
    EXPECT_EQ(view.rows(), before);

    // A finding that grew shows its new size in its own row; one that went takes its row along.
    std::vector<CleanupRecommendation> changed = view.recommendations();
    changed.front().bytes += 1'000'000;
    CleanupRecommendationRow* first = before.front();
    EXPECT_EQ(CleanupRecommendationRow::shapeKey(changed.front()), CleanupRecommendationRow::shapeKey(first->item()));
    first->update(changed.front());
    EXPECT_EQ(first->findChild<QLabel*>("size")->text(),
              CleanupRecommendationRow::sizeText(changed.front().bytes, changed.front().isPartial));
    // A finding of another shape under the same title and paths gets a row of its own.
    CleanupRecommendation other = changed.front();
    other.action = Action::command("true");
    EXPECT_NE(CleanupRecommendationRow::shapeKey(other), CleanupRecommendationRow::shapeKey(first->item()));

    // A stopped analyzer still answers with what it found before the stop; that answer is refused.
    std::stop_source stopped;
    stopped.request_stop();
    EXPECT_FALSE(CleanupView::analyze(home.path(), database.get(), noSystem(), nullptr, stopped.get_token()).has_value());
}

TEST_F(CleanupViewTest, AScreenClosedDuringItsAnalysisReceivesNothing)
{
    fillHome();
    auto view = std::make_unique<CleanupView>(*model, nullptr, noSystem());
    EXPECT_TRUE(view->isLoading());
    view.reset();
    // The dropped analysis ends and its answer arrives to nobody (the sanitizer build sees any
    // use of the screen gone).
    EXPECT_TRUE(finishBackgroundWork());
}

TEST_F(CleanupViewTest, MovingSeveralMeasuredPathsAsksWithTheirRealTotal)
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

TEST_F(CleanupViewTest, CopiedFollowsTheCommandLastCopiedOnTheScreen)
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

TEST_F(CleanupViewTest, OpenTrashShowsTheTrashAndRevealTheFirstPath)
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
