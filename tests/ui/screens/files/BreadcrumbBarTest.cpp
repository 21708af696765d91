#include "ui/screens/files/BreadcrumbBar.h"

#include "ui/components/ElidedLabel.h"

#include "ui/support/UiTestSupport.h"

#include <QLabel>
#include <QLayout>
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
    EXPECT_EQ(bar.findChild<ElidedLabel*>("currentFolder")->text(), "R&D");
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
    EXPECT_EQ(bar.findChild<ElidedLabel*>("currentFolder")->text(), "srv");
    bar.setPath("/home/u/R&D");
    EXPECT_EQ(bar.findChildren<QPushButton*>(), before);
}

TEST(BreadcrumbBar, ALongWayGivesItsFirstFoldersToAnEllipsisWhereItDoesNotFit)
{
    ensureApplication();
    Reported reported;
    // In a screen, as the width the screen gives it.
    QWidget screen;
    BreadcrumbBar bar([&](std::optional<std::string> path) { reported.push_back(path); }, nullptr, &screen);
    bar.setPath("/home/someone/Projects/website/node_modules/left-pad/lib/internal");
    screen.show();
    for (const int width : {1400, 900, 600, 420, 300}) {
        screen.resize(width, 60);
        bar.resize(width, bar.sizeHint().height());
        QCoreApplication::processEvents();
        SCOPED_TRACE(width);
        // Either the way fits, or only the focus is left, shortened in the middle.
        if (bar.hiddenSegments() < 7u) {
            EXPECT_LE(bar.layout()->sizeHint().width(), width);
        }
        EXPECT_EQ(bar.findChild<QLabel*>("hiddenFolders")->isVisibleTo(&bar), bar.hiddenSegments() > 0);
        for (QPushButton* button : bar.findChildren<QPushButton*>())
            if (button->isVisibleTo(&bar)) {
                EXPECT_GE(button->width(), button->sizeHint().width()) << button->text().toStdString();
            }
    }
    EXPECT_EQ(bar.hiddenSegments(), 7u);
    // The nearest folder on the way stays a link while there is room for it.
    bar.resize(600, bar.sizeHint().height());
    QCoreApplication::processEvents();
    saveScreenshot(bar, "BreadcrumbBar-narrow");
    ASSERT_GT(bar.hiddenSegments(), 0u);
    ASSERT_LT(bar.hiddenSegments(), 7u);
    QPushButton* nearest = nullptr;
    for (QPushButton* button : bar.findChildren<QPushButton*>())
        if (button->isVisibleTo(&bar) && button->text() == "lib")
            nearest = button;
    ASSERT_NE(nearest, nullptr);
    nearest->click();
    EXPECT_EQ(reported.back(), "/home/someone/Projects/website/node_modules/left-pad/lib");
    bar.resize(1400, bar.sizeHint().height());
    QCoreApplication::processEvents();
    EXPECT_EQ(bar.hiddenSegments(), 0u);
}

TEST(BreadcrumbBar, TheCurrentFolderIsShownWholeWheneverItsRoomAllowsIt)
{
    ensureApplication();
    // Bold names whose widths fall between whole pixels, alone and after a way of links.
    const std::vector<std::string> paths = {
        "/srv/terraform-provider-aws_v5.100.0_x5", "/home/u/Library", "/home/u/Illustrations ijl",
        "/Applications/Visual Studio Code.app", "/home/someone/Projects/website/node_modules/left-pad/lib/internal",
        "/data/mmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmm", "/a/b/c/d/e/f/g/h/i/j/k/l/m/n/o/p/q/r/s/t/u/v/w/x/y/z/ff.ii",
    };
    for (const std::string& path : paths) {
        QWidget screen;
        auto* bar = new BreadcrumbBar([](std::optional<std::string>) {}, nullptr, &screen);
        bar->setPath(path);
        screen.show();
        const auto* current = bar->findChild<ElidedLabel*>("currentFolder");
        for (int width = 200; width <= 1000; width += 7) {
            bar->resize(width, bar->sizeHint().height());
            QCoreApplication::processEvents();
            const QFontMetricsF metrics(current->font());
            // Room remains when the folder's own text and the rest of the bar fit the width.
            const int needed = bar->layout()->sizeHint().width();
            if (needed > width) continue;
            SCOPED_TRACE(path + " at " + std::to_string(width));
            EXPECT_EQ(current->shownText().toStdString(), current->text().toStdString());
            EXPECT_GE(current->contentsRect().width(), metrics.horizontalAdvance(current->text()));
            if (current->shownText() != current->text()) {
                saveScreenshot(*bar, "BreadcrumbBar-cut");
                break;
            }
        }
    }
}

} // namespace
