#include "ui/screens/preferences/PreferencesTestSupport.h"

#include "ui/screens/frame/ContentView.h"
#include "ui/screens/frame/KestrelmoorApp.h"

#include <QAbstractButton>
#include <QLabel>
#include <QScrollArea>

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
            waitUntil([] { return false; }, std::chrono::milliseconds(50));
            QWidget& screen = *window.currentScreen();
            EXPECT_EQ(cutTexts(screen).join(" | ").toStdString(), "") << name << " at " << size.width() << "x" << size.height();
            saveScreenshot(window, QStringLiteral("layout-%1-%2x%3").arg(QString::fromLatin1(name)).arg(size.width())
                                       .arg(size.height()));
        }
    }
}

} // namespace
