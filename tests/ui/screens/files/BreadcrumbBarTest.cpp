#include "ui/screens/files/BreadcrumbBar.h"

#include "ui/UiTestSupport.h"

#include <QLabel>
#include <QPushButton>
#include <QShortcut>

#include <gtest/gtest.h>

namespace {

using Reported = std::vector<std::optional<std::string>>;

TEST(BreadcrumbBar, SegmentsAndTheirPrefixPathsIgnoreEmptyPieces)
{
    struct Case {
        std::string path;
        std::vector<std::string> segments;
        std::vector<std::string> prefixes;
    };
    const std::vector<Case> cases = {
        {"/Users/x/Library", {"Users", "x", "Library"}, {"/Users", "/Users/x", "/Users/x/Library"}},
        {"/Users//x/Library/", {"Users", "x", "Library"}, {"/Users", "/Users/x", "/Users/x/Library"}},
        {"/Applications", {"Applications"}, {"/Applications"}},
        {"/a b/c&d/\"q\"", {"a b", "c&d", "\"q\""}, {"/a b", "/a b/c&d", "/a b/c&d/\"q\""}},
        {"/", {}, {}},
    };
    for (const auto& c : cases) {
        const auto segments = BreadcrumbBar::segments(c.path);
        EXPECT_EQ(segments, c.segments) << c.path;
        std::vector<std::string> prefixes;
        for (std::size_t i = 0; i < segments.size(); ++i)
            prefixes.push_back(BreadcrumbBar::prefixPath(segments, i));
        EXPECT_EQ(prefixes, c.prefixes) << c.path;
    }
}

TEST(BreadcrumbBar, UpGoesToTheParentAndFromTheTopFolderToAllLocations)
{
    const std::vector<std::pair<std::string, std::optional<std::string>>> cases = {
        {"/Users/x/Library", "/Users/x"},
        {"/Applications", std::nullopt},
        {"/Volumes/Disk", "/Volumes"},
        {"/Users//x/", "/Users"},
    };
    for (const auto& [path, up] : cases)
        EXPECT_EQ(BreadcrumbBar::upTarget(path), up) << path;
}

TEST(BreadcrumbBar, ShowsLinksForTheWayAndReportsEveryClick)
{
    ensureApplication();
    Reported reported;
    BreadcrumbBar bar([&](std::optional<std::string> path) { reported.push_back(path); });

    // At the top level: only "All Locations", no Up, and Ctrl+Up is free for others.
    int visibleButtons = 0;
    for (auto* button : bar.findChildren<QPushButton*>())
        visibleButtons += button->isVisibleTo(&bar) ? 1 : 0;
    EXPECT_EQ(visibleButtons, 1);
    EXPECT_FALSE(bar.upShortcut()->isEnabled());
    bar.findChild<QPushButton*>("allLocations")->click();
    EXPECT_EQ(reported, Reported{std::nullopt});

    reported.clear();
    bar.setPath("/home/u/R&D");
    EXPECT_TRUE(bar.upShortcut()->isEnabled());
    EXPECT_EQ(bar.upShortcut()->key(), QKeySequence(Qt::CTRL | Qt::Key_Up));
    EXPECT_EQ(bar.upShortcut()->context(), Qt::WidgetWithChildrenShortcut);
    QStringList links;
    for (auto* button : bar.findChildren<QPushButton*>())
        if (button->objectName().isEmpty() && button->isVisibleTo(&bar)) {
            links << button->text();
            button->click();
        }
    EXPECT_EQ(links, (QStringList{"home", "u"}));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(bar.findChild<QLabel*>("currentFolder")->text(), "R&D");
    bar.findChild<QPushButton*>("upButton")->click();
    emit bar.upShortcut()->activated();
    EXPECT_EQ(reported, (Reported{"/home", "/home/u", "/home/u", "/home/u"}));

    bar.resize(520, bar.sizeHint().height());
    saveScreenshot(bar, "BreadcrumbBar");

    // A shorter path reuses the links; a longer one adds what it needs.
    const QList<QPushButton*> before = bar.findChildren<QPushButton*>();
    bar.setPath("/srv");
    QStringList shown;
    for (auto* button : bar.findChildren<QPushButton*>())
        if (button->isVisibleTo(&bar))
            shown << button->objectName();
    EXPECT_EQ(shown, (QStringList{"allLocations", "upButton"}));
    EXPECT_EQ(bar.findChild<QLabel*>("currentFolder")->text(), "srv");
    bar.setPath("/home/u/R&D");
    EXPECT_EQ(bar.findChildren<QPushButton*>(), before);
}

} // namespace
