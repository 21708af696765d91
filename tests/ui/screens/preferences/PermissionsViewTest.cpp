#include "ui/screens/preferences/PermissionsView.h"

#include "ui/screens/preferences/PreferencesTestSupport.h"

#include "app/PermissionManager.h"
#include "platform/Accounts.h"
#include "app/support/AppTestSupport.h"
#include "support/HeldGate.h"
#include "support/Unprivileged.h"
#include "ui/components/TextStyle.h"
#include "ui/screens/frame/DetailRouter.h"
#include "ui/components/PermissionHelpSheet.h"

#include <QLabel>
#include <QPushButton>


#include <sys/stat.h>
#include <unistd.h>

namespace {

// The model's home, set before its threads start (a thread reads the environment as it
// starts, which may not change under it), with its desktop folders named in user-dirs.dirs.
class PermissionsViewTest : public PreferencesTest {
protected:
    void SetUp() override
    {
        PreferencesTest::SetUp();
        home.makeFolder("Documents");
        home.makeFolder("Library");
        home.makeFolder("elsewhere/Saved");
        home.write("blocker", "not a folder");
        home.write(".config/user-dirs.dirs", "XDG_DESKTOP_DIR=\"$HOME/Desktop\"\n"
                                             "XDG_MUSIC_DIR=\"$HOME/blocker/Music\"\n"
                                             "XDG_VIDEOS_DIR=\"$HOME/pipe\"\n");
        ::symlink(home.file("elsewhere/Saved").c_str(), home.file("Downloads").c_str());
        ::mkfifo(home.file("pipe").c_str(), 0600);
    }

    QString rowStatus(const PermissionsView& view, const std::string& path)
    {
        const auto& places = view.locations();
        const auto rows = view.findChildren<QWidget*>(QStringLiteral("locationRow"));
        for (std::size_t index = 0; index < places.size(); ++index)
            if (places[index].path == path)
                return rows.at(static_cast<qsizetype>(index))->findChild<QLabel*>(QStringLiteral("status"))->text();
        return QStringLiteral("(no row)");
    }

    // Clicks Check Access as a person does and waits for the check to end.
    static bool checkedByItsButton(PermissionsView& view)
    {
        view.findChild<QPushButton*>(QStringLiteral("checkButton"))->click();
        return waitUntil([&] { return view.isChecked(); });
    }

    static QString labelText(const QWidget& view, const char* name)
    {
        return view.findChild<QLabel*>(QLatin1String(name))->text();
    }
};

// A probe that holds every place at the gate, which counts what it was asked.
std::unique_ptr<AccessProbe> heldProbe(const HeldGate& gate)
{
    return std::make_unique<AccessProbe>(
        std::chrono::seconds(30),
        [pass = gate.passage()](const std::string&) {
            pass();
            return AccessStatus::granted;
        },
        [](const std::string&) { return std::optional<bool>(true); });
}

TEST(PermissionsViewPresentation, EachStateHasItsSymbolColourAndText)
{
    ensureApplication();
    const struct {
        AccessStatus status;
        const char* symbol;
        QColor color;
        const char* text;
    } statuses[] = {
        {AccessStatus::granted, "checkmark.circle.fill", NamedColor::green, "Accessible"},
        {AccessStatus::denied, "exclamationmark.triangle.fill", NamedColor::orange, "Access Restricted"},
        {AccessStatus::notFound, "minus.circle", textColor(TextEmphasis::secondary), "Not present"},
        {AccessStatus::notChecked, "questionmark.circle", textColor(TextEmphasis::secondary), "Not checked"},
    };
    for (const auto& row : statuses) {
        const auto shown = PermissionsView::statusPresentation(row.status);
        EXPECT_STREQ(shown.symbol, row.symbol);
        EXPECT_EQ(shown.color, row.color) << row.text;
        EXPECT_EQ(shown.text, QString::fromUtf8(row.text));
    }
    const struct {
        std::optional<bool> access;
        const char* symbol;
        QColor color;
        const char* text;
    } lines[] = {
        {true, "checkmark.seal.fill", NamedColor::green, "Full Disk Access is enabled."},
        {false, "exclamationmark.triangle.fill", NamedColor::orange,
         "Full Disk Access is off. Some folders can't be measured."},
        {std::nullopt, "exclamationmark.triangle.fill", NamedColor::orange,
         "Full Disk Access status hasn't been checked."},
    };
    for (const auto& row : lines) {
        const auto shown = PermissionsView::fullDiskAccessPresentation(row.access);
        EXPECT_STREQ(shown.symbol, row.symbol);
        EXPECT_EQ(shown.color, row.color) << row.text;
        EXPECT_EQ(shown.text, QString::fromUtf8(row.text));
    }
}

TEST(PermissionsViewPresentation, WithoutFullDiskAccessTheLineSaysWhatWasFoundHere)
{
    ensureApplication();
    using Terms = PermissionsView::Terms;
    const char* unchecked = "Storage access hasn't been checked.";
    const char* readable = "Kestrelmoor can read your home folder and every folder your account may open.";
    const char* missing = "Your home folder wasn't found, so access couldn't be judged.";
    const struct {
        Terms terms;
        std::optional<bool> access;
        bool checked;
        const char* symbol;
        const char* text;
    } lines[] = {
        {Terms::account, std::nullopt, false, "exclamationmark.triangle.fill", unchecked},
        {Terms::account, true, true, "checkmark.seal.fill", readable},
        {Terms::account, false, true, "exclamationmark.triangle.fill",
         "Kestrelmoor can't read your home folder. Some folders can't be measured."},
        {Terms::account, std::nullopt, true, "exclamationmark.triangle.fill", missing},
        {Terms::sandbox, std::nullopt, false, "exclamationmark.triangle.fill", unchecked},
        {Terms::sandbox, false, true, "exclamationmark.triangle.fill",
         "Kestrelmoor runs in a sandbox and can't read most of your folders."},
        {Terms::sandbox, std::nullopt, true, "exclamationmark.triangle.fill", missing},
        // Where the macOS permission exists, its own texts.
        {Terms::fullDiskAccess, true, true, "checkmark.seal.fill", "Full Disk Access is enabled."},
        {Terms::fullDiskAccess, std::nullopt, true, "exclamationmark.triangle.fill",
         "Full Disk Access status hasn't been checked."},
    };
    for (const auto& row : lines) {
        const auto shown = PermissionsView::accessPresentation(row.terms, row.access, row.checked);
        EXPECT_STREQ(shown.symbol, row.symbol) << row.text;
        EXPECT_EQ(shown.text, QString::fromUtf8(row.text));
        EXPECT_FALSE(row.terms != Terms::fullDiskAccess && shown.text.contains("Full Disk Access")) << row.text;
    }
    EXPECT_EQ(PermissionsView::termsFor(StorageSandbox{}), Terms::account);
    EXPECT_EQ(PermissionsView::termsFor(StorageSandbox{StorageSandbox::Kind::snap, "kestrelmoor", "snap connect"}),
              Terms::sandbox);
}

TEST(PermissionsViewOrder, PlacesFoundHereComeFirstThenUncheckedThenAbsent)
{
    using R = ProtectedLocation::Requirement;
    const std::vector<ProtectedLocation> places{
        {"Mail", "/m/Mail", R::fullDiskAccess, ""},     {"Home", "/h", R::filePermissions, ""},
        {"Safari", "/m/Safari", R::fullDiskAccess, ""}, {"Logs", "/var/log", R::filePermissions, ""},
        {"Apps", "/Applications", R::filePermissions, ""},
    };
    const std::set<std::string> native{"/h", "/var/log"};
    using S = AccessStatus;
    const struct {
        const char* name;
        std::map<std::string, AccessStatus> statuses;
        std::vector<std::size_t> expected;
    } cases[] = {
        {"before a check: this system's places first", {}, {1, 3, 0, 2, 4}},
        {"after a check",
         {{"/m/Mail", S::notFound}, {"/h", S::granted}, {"/m/Safari", S::notFound}, {"/var/log", S::denied},
          {"/Applications", S::notFound}},
         {1, 3, 0, 2, 4}},
        {"a foreign place that exists comes before absent ones",
         {{"/m/Mail", S::notFound}, {"/h", S::granted}, {"/m/Safari", S::notFound}, {"/var/log", S::notFound},
          {"/Applications", S::granted}},
         {1, 4, 3, 0, 2}},
        {"a place the check did not reach stays between", {{"/m/Mail", S::notFound}, {"/m/Safari", S::granted}},
         {2, 1, 3, 4, 0}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(PermissionsView::shownOrder(places, c.statuses, native), c.expected) << c.name;
}

TEST_F(PermissionsViewTest, OpensUncheckedAndProbesNothing)
{
    HeldGate gate;
    auto view = std::make_unique<PermissionsView>(*model, StorageSandbox{}, heldProbe(gate));
    view->resize(760, 900);
    view->show();
    // Whatever showing the screen queued has run: a check it started would be running now.
    EXPECT_TRUE(finishBackgroundWork());
    EXPECT_FALSE(view->isChecking());
    EXPECT_EQ(gate.arrivals(), 0);
    EXPECT_EQ(labelText(*view, "fullDiskAccessText"), "Storage access hasn't been checked.");
    EXPECT_EQ(view->findChild<QPushButton*>(QStringLiteral("checkButton"))->text(), "Check Access");
    for (QWidget* row : view->findChildren<QWidget*>(QStringLiteral("locationRow")))
        EXPECT_EQ(row->findChild<QLabel*>(QStringLiteral("status"))->text(), "Not checked");
    // Before a check only this system's places are listed, none of macOS's.
    std::set<std::string> here;
    for (const auto& place : PermissionManager::desktopLocations(home.path(), Accounts::userName(::getuid()).value_or("")))
        here.insert(place.path);
    const auto rows = view->findChildren<QWidget*>(QStringLiteral("locationRow"));
    for (std::size_t index = 0; index < view->locations().size(); ++index)
        EXPECT_EQ(rows.at(static_cast<qsizetype>(index))->isVisibleTo(view.get()),
                  here.count(view->locations()[index].path) == 1)
            << view->locations()[index].path;
    // No settings pane to open here, so no button that would open nothing.
    EXPECT_EQ(view->findChild<QPushButton*>(QStringLiteral("openSettings")), nullptr);
    EXPECT_EQ(view->findChild<QLabel*>(QStringLiteral("widenCommand")), nullptr);
    saveScreenshot(*view, QStringLiteral("permissions-view-unchecked"));
    gate.open();
}

TEST_F(PermissionsViewTest, ACheckJudgesEachPlaceByTheRealFileSystem)
{
    PermissionsView view(*model, StorageSandbox{}, std::make_unique<AccessProbe>());
    view.resize(760, 1400);
    view.show();
    ASSERT_TRUE(checkedByItsButton(view));

    const struct {
        std::string path;
        AccessStatus status;
        const char* text;
    } places[] = {
        {home.path(), AccessStatus::granted, "Accessible"},
        {home.file("Documents"), AccessStatus::granted, "Accessible"},
        {home.file("Desktop"), AccessStatus::notFound, "Not present"},
        // A link is opened as what it leads to, never listed as a folder of its own.
        {home.file("Downloads"), AccessStatus::granted, "Accessible"},
        // A parent that is a file: the status call fails with something other than "missing".
        {home.file("blocker/Music"), AccessStatus::denied, "Access Restricted"},
        // Opening a FIFO must not wait for a writer.
        {home.file("pipe"), AccessStatus::granted, "Accessible"},
        {home.file("Library/Mail"), AccessStatus::notFound, "Not present"},
    };
    for (const auto& place : places) {
        EXPECT_EQ(view.status(place.path), place.status) << place.path;
        EXPECT_EQ(rowStatus(view, place.path), QString::fromUtf8(place.text)) << place.path;
    }
    // The account can read its own home, outside any sandbox.
    EXPECT_EQ(view.fullDiskAccess(), std::optional<bool>(true));
    // Said as what this account may read: there is no Full Disk Access here.
    EXPECT_EQ(labelText(view, "fullDiskAccessText"),
              "Kestrelmoor can read your home folder and every folder your account may open.");
    EXPECT_EQ(view.findChild<QPushButton*>(QStringLiteral("checkButton"))->text(), "Check Again");
    EXPECT_TRUE(view.findChild<QPushButton*>(QStringLiteral("checkButton"))->isEnabled());

    QStringList shownPaths;
    for (QLabel* path : view.findChildren<QLabel*>(QStringLiteral("path")))
        shownPaths << path->text();
    EXPECT_TRUE(shownPaths.contains("~"));
    EXPECT_TRUE(shownPaths.contains("~/Documents"));
    EXPECT_TRUE(shownPaths.contains("/Applications"));
    letEventsRun(std::chrono::milliseconds(100));
    saveScreenshot(view, QStringLiteral("permissions-view-checked"));
}

// A place of this machine, and the screen around the rows, speak of this system; only
// the macOS places that are not here keep their macOS text.
TEST_F(PermissionsViewTest, WhatThisMachineHasIsSaidInItsOwnTerms)
{
    std::filesystem::create_directories(home.file("Downloads"));
    std::filesystem::create_directories(home.file("Pictures"));
    PermissionsView view(*model, StorageSandbox{}, std::make_unique<AccessProbe>());
    view.resize(760, 1400);
    view.show();
    ASSERT_TRUE(checkedByItsButton(view));
    const auto macOSWords = [](const QString& text) {
        return text.contains(QStringLiteral("macOS")) || text.contains(QStringLiteral("Full Disk Access"))
               || text.contains(QStringLiteral("APFS"));
    };
    const auto& places = view.locations();
    const auto rows = view.findChildren<QWidget*>(QStringLiteral("locationRow"));
    ASSERT_EQ(rows.size(), static_cast<qsizetype>(places.size()));
    std::set<std::string> here;
    for (const auto& place : PermissionManager::desktopLocations(home.path(), "someone")) here.insert(place.path);
    int present = 0;
    for (std::size_t index = 0; index < places.size(); ++index) {
        if (!here.count(places[index].path)) continue;
        ++present;
        for (const QLabel* label : rows.at(static_cast<qsizetype>(index))->findChildren<QLabel*>())
            EXPECT_FALSE(macOSWords(label->text() + label->toolTip())) << places[index].path << ": "
                                                                       << label->text().toStdString();
    }
    EXPECT_GE(present, 8);
    // The places of macOS that are not here are not shown at all.
    std::set<std::string> native;
    for (const auto& place : PermissionManager::desktopLocations(home.path(), Accounts::userName(::getuid()).value_or("")))
        native.insert(place.path);
    for (std::size_t index = 0; index < places.size(); ++index)
        if (!native.count(places[index].path) && view.status(places[index].path) == AccessStatus::notFound) {
            EXPECT_FALSE(rows.at(static_cast<qsizetype>(index))->isVisibleTo(&view)) << places[index].path;
        }
    for (const QLabel* label : view.findChildren<QLabel*>()) {
        bool inRow = false;
        for (const QWidget* row : rows) inRow = inRow || row->isAncestorOf(label);
        if (!inRow) {
            EXPECT_FALSE(macOSWords(label->text())) << label->text().toStdString();
        }
    }
}

// Leaving the screen and coming back shows the last check again, with the rows
// of this machine's places on top.
TEST_F(PermissionsViewTest, TheLastCheckIsKeptForTheRunAndItsPlacesComeFirst)
{
    {
        PermissionsView view(*model, StorageSandbox{}, std::make_unique<AccessProbe>());
        // Before any check: this system's places (the home and its folders) on top.
        EXPECT_EQ(view.shownPaths().front().rfind(home.path(), 0), 0u) << view.shownPaths().front();
        EXPECT_EQ(view.shownPaths().back(), "/Users");
        ASSERT_TRUE(checkedByItsButton(view));
    }
    HeldGate gate;
    PermissionsView again(*model, StorageSandbox{}, heldProbe(gate));
    EXPECT_TRUE(again.isChecked());
    EXPECT_EQ(gate.arrivals(), 0);
    EXPECT_EQ(again.findChild<QPushButton*>(QStringLiteral("checkButton"))->text(), "Check Again");
    EXPECT_EQ(again.status(home.file("Documents")), AccessStatus::granted);
    EXPECT_EQ(rowStatus(again, home.file("Documents")), "Accessible");
    EXPECT_EQ(labelText(again, "fullDiskAccessText"),
              "Kestrelmoor can read your home folder and every folder your account may open.");

    // Down the list, every place found comes before every place absent.
    bool absentSeen = false;
    for (const std::string& path : again.shownPaths()) {
        const bool absent = again.status(path) == AccessStatus::notFound;
        EXPECT_FALSE(absentSeen && !absent) << path << " after an absent place";
        absentSeen = absentSeen || absent;
    }
    EXPECT_EQ(again.shownPaths().front().rfind(home.path(), 0), 0u) << again.shownPaths().front();
    EXPECT_EQ(again.status(again.shownPaths().back()), AccessStatus::notFound);
    // The rows on screen stand in that order too.
    again.resize(760, 1400);
    again.show();
    QCoreApplication::processEvents();
    std::vector<int> tops;
    for (const std::string& path : again.shownPaths())
        for (std::size_t index = 0; index < again.locations().size(); ++index)
            if (again.locations()[index].path == path && again.findChildren<QWidget*>(QStringLiteral("locationRow"))
                                                             .at(static_cast<qsizetype>(index))
                                                             ->isVisibleTo(&again))
                tops.push_back(again.findChildren<QWidget*>(QStringLiteral("locationRow"))
                                   .at(static_cast<qsizetype>(index))
                                   ->mapTo(&again, QPoint()).y());
    EXPECT_TRUE(std::is_sorted(tops.begin(), tops.end()));
    gate.open();
}

TEST_F(PermissionsViewTest, AFolderThatCannotBeListedIsRestricted)
{
    if (runAgainUnprivileged()) return;
    ::chmod(home.file("Documents").c_str(), 0);
    PermissionsView view(*model, StorageSandbox{}, std::make_unique<AccessProbe>());
    ASSERT_TRUE(checkedByItsButton(view));
    ::chmod(home.file("Documents").c_str(), 0700);
    EXPECT_EQ(view.status(home.file("Documents")), AccessStatus::denied);
}

TEST_F(PermissionsViewTest, OnlyOneCheckRunsAtATime)
{
    HeldGate gate;
    PermissionsView view(*model, StorageSandbox{}, heldProbe(gate));
    auto* button = view.findChild<QPushButton*>(QStringLiteral("checkButton"));
    button->click();
    ASSERT_TRUE(gate.waitForArrivals(1));
    EXPECT_TRUE(view.isChecking());
    EXPECT_FALSE(button->isEnabled());
    button->click();
    gate.open();
    ASSERT_TRUE(waitUntil([&] { return view.isChecked(); }));
    EXPECT_EQ(gate.arrivals(), static_cast<int>(view.locations().size()));
    EXPECT_TRUE(button->isEnabled());
    EXPECT_EQ(view.fullDiskAccess(), std::optional<bool>(true));
}

TEST_F(PermissionsViewTest, AScreenClosedDuringACheckDropsItsAnswer)
{
    HeldGate gate;
    auto view = std::make_unique<PermissionsView>(*model, StorageSandbox{}, heldProbe(gate));
    view->findChild<QPushButton*>(QStringLiteral("checkButton"))->click();
    ASSERT_TRUE(gate.waitForArrivals(1));
    view.reset();
    gate.open();
    // What the probe's thread hands back once let go finds no screen: it is posted
    // before the probe's work is dropped, and the event loop has run it by then.
    ASSERT_TRUE(waitUntil([&] { return gate.unheld(); }));
    QCoreApplication::processEvents();
    // and the check stopped at the next place instead of probing the rest.
    EXPECT_EQ(gate.arrivals(), 1);
}

TEST_F(PermissionsViewTest, InsideASandboxTheCommandThatWidensItCanBeCopied)
{
    StorageSandbox sandbox{StorageSandbox::Kind::flatpak, "org.example.Kestrelmoor",
                           "flatpak override --user --filesystem=host --filesystem=home org.example.Kestrelmoor"};
    PermissionsView view(*model, sandbox, std::make_unique<AccessProbe>());
    EXPECT_EQ(labelText(view, "widenCommand"), QString::fromStdString(sandbox.widenCommand));
    view.findChild<QPushButton*>(QStringLiteral("copyCommand"))->click();
    EXPECT_EQ(desktop->copied, std::vector<std::string>{sandbox.widenCommand});
    view.resize(760, 560);
    view.show();
    letEventsRun(std::chrono::milliseconds(100));
    saveScreenshot(view, QStringLiteral("permissions-view-sandbox"));
}

TEST_F(PermissionsViewTest, TheHelpSheetOpensOnceAndClosesBackToTheScreen)
{
    HeldGate gate(true);
    PermissionsView view(*model, StorageSandbox{}, heldProbe(gate));
    ASSERT_TRUE(checkedByItsButton(view));
    auto* help = view.findChild<QPushButton*>(QStringLiteral("helpButton"));
    EXPECT_EQ(help->text(), "How to Grant Access\u2026");
    help->click();
    help->click();
    ASSERT_NE(view.helpSheet(), nullptr);
    EXPECT_EQ(view.findChildren<PermissionHelpSheet*>().size(), 1);
    view.helpSheet()->findChild<QPushButton*>(QStringLiteral("closeButton"))->click();
    ASSERT_TRUE(waitUntil([&] { return view.helpSheet() == nullptr; }));
    EXPECT_TRUE(view.isChecked());
    EXPECT_EQ(view.status(home.file("Documents")), AccessStatus::granted);
}

TEST_F(PermissionsViewTest, TheRouterShowsTheScreenForItsRow)
{
    std::unique_ptr<QWidget> screen(DetailRouter::makeScreen(SidebarItem::permissions, *model, nullptr));
    EXPECT_NE(qobject_cast<PermissionsView*>(screen.get()), nullptr);
}

} // namespace
