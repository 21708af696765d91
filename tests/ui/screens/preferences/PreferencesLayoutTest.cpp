#include "ui/screens/preferences/PreferencesTestSupport.h"

#include "ui/screens/frame/ContentView.h"
#include "ui/screens/frame/KestrelmoorApp.h"
#include "ui/components/ElidedLabel.h"

#include <QAbstractButton>
#include <QLabel>
#include <QScrollArea>

#include <filesystem>

namespace {

// Texts that the window shows cut: a one-line label or a button narrower than its
// text, a wrapping label shorter than its lines, or anything running out of the
// screen's right edge.
QStringList cutTexts(QWidget& screen)
{
    QStringList cut;
    const auto visible = [&](QWidget* widget) { return widget->isVisibleTo(&screen); };
    const auto outside = [&](QWidget* widget) {
        return widget->mapTo(&screen, QPoint(widget->width(), 0)).x() > screen.width() + 1;
    };
    for (QLabel* label : screen.findChildren<QLabel*>()) {
        if (!visible(label) || label->text().isEmpty())
            continue;
        const bool short_ = label->wordWrap() ? label->heightForWidth(label->width()) > label->height() + 1
                                              : label->sizeHint().width() > label->width() + 1;
        if (short_ || outside(label))
            cut << label->text();
    }
    for (QAbstractButton* button : screen.findChildren<QAbstractButton*>())
        if (visible(button) && !button->text().isEmpty() &&
            (button->sizeHint().width() > button->width() + 1 || outside(button)))
            cut << button->text();
    return cut;
}

class PreferencesLayoutTest : public PreferencesTest {};

// Each of these screens at every window size from the smallest: nothing cut, with a
// picture of each to look at.
TEST_F(PreferencesLayoutTest, NothingIsCutFromTheSmallestWindowToTheLargest)
{
    KestrelmoorApp app(std::move(model));
    ContentView& window = app.mainWindow();
    window.show();
    const QSize sizes[] = {{720, 480}, {1000, 660}, {1440, 900}, {1920, 1080}};
    const std::pair<SidebarItem, const char*> screens[] = {
        {SidebarItem::permissions, "storage-access"}, {SidebarItem::privacy, "privacy"},
        {SidebarItem::settings, "settings"}};
    for (const auto& [item, name] : screens) {
        app.model().setSelection(item);
        for (const QSize& size : sizes) {
            window.resize(size);
            QCoreApplication::processEvents();
            QWidget& screen = *window.currentScreen();
            // Wrapped texts take their heights over several layout passes.
            waitUntil([&] { return cutTexts(screen).isEmpty(); });
            EXPECT_EQ(cutTexts(screen).join(" | ").toStdString(), "") << name << " at " << size.width() << "x" << size.height();
            saveScreenshot(window, QStringLiteral("layout-%1-%2x%3").arg(QString::fromLatin1(name)).arg(size.width())
                                       .arg(size.height()));
        }
    }
}

// A cache far below the home (a long XDG_DATA_HOME) is shown shortened, whole in its
// tooltip, and widens neither screen beyond the smallest window.
TEST_F(PreferencesLayoutTest, ALongCachePathIsShortenedRatherThanWideningTheScreen)
{
    // Far wider than the window, and within the 512 bytes SQLite takes for a path.
    std::string deep = cache.path();
    for (int level = 0; deep.size() < 400; ++level)
        deep += "/a-folder-with-a-rather-long-name-" + std::to_string(level);
    std::filesystem::create_directories(deep);
    const std::string path = deep + "/ScanCache.sqlite";
    auto database = std::make_shared<StorageDatabase>(path);
    KestrelmoorApp app(std::make_unique<AppModel>(database, emptyApplicationsStore(settings.path())));
    ContentView& window = app.mainWindow();
    window.show();
    window.resize(720, 480);
    for (const SidebarItem item : {SidebarItem::privacy, SidebarItem::settings}) {
        app.model().setSelection(item);
        QCoreApplication::processEvents();
        QWidget& screen = *window.currentScreen();
        waitUntil([&] { return cutTexts(screen).isEmpty(); });
        auto* location = screen.findChild<ElidedLabel*>(QStringLiteral("cacheLocation"));
        ASSERT_NE(location, nullptr);
        EXPECT_EQ(location->toolTip(), QString::fromStdString(path));
        EXPECT_TRUE(location->shownText().contains(QChar(0x2026))) << location->shownText().toStdString();
        EXPECT_TRUE(location->shownText().endsWith(QStringLiteral("ScanCache.sqlite")));
        EXPECT_LE(location->mapTo(&screen, QPoint(location->width(), 0)).x(), screen.width());
        EXPECT_EQ(cutTexts(screen).join(" | ").toStdString(), "");
        EXPECT_LE(window.width(), 720);
        if (auto* scroll = screen.findChild<QScrollArea*>())
            scroll->ensureWidgetVisible(location);
        QCoreApplication::processEvents();
        saveScreenshot(window, QStringLiteral("layout-long-cache-path-%1").arg(item == SidebarItem::privacy ? 0 : 1));
    }
}

} // namespace
