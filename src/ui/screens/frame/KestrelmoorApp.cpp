#include "ui/screens/frame/KestrelmoorApp.h"

#include "ui/components/DesktopServicesFactory.h"

#include "app/AppModel.h"
#include "app/SettingsKey.h"
#include "app/UserDefaults.h"
#include "ui/screens/frame/ContentView.h"
#include "ui/screens/frame/DetailRouter.h"
#include "ui/screens/frame/KestrelmoorCommands.h"

#include <QMenuBar>
#include <QVBoxLayout>
#include <QWidget>

KestrelmoorApp::KestrelmoorApp(std::unique_ptr<AppModel> model, QObject* parent) : QObject(parent)
{
    SettingsKey::registerDefaults();
    // A model handed in by a test keeps its own desktop; the program's talks to the real one.
    if (model) {
        model_ = std::move(model);
    } else {
        model_ = std::make_unique<AppModel>();
        // The model owns the desktop, so it is there whenever the desktop reports.
        AppModel* model = model_.get();
        model_->setDesktopServices(
            makeDesktopServices([model](const std::string& path) { model->setAlert(nothingCouldOpenAlert(path)); }));
    }

    window_ = std::make_unique<ContentView>(*model_);
    window_->setObjectName(QStringLiteral("main"));
    window_->setWindowTitle(QStringLiteral("Kestrelmoor"));
    window_->setMinimumSize(720, 480);
    window_->restorePlacement(QSize(1000, 660));
    window_->setUnifiedTitleAndToolBarOnMac(true);
    commands_ = new KestrelmoorCommands(*model_, window_->menuBar(), [this] { showSettings(); }, this);
    connect(window_.get(), &ContentView::appeared, model_.get(), [model = model_.get()] { model->start(); });
    // Said once the window is there to carry it; an alert set before would reach no window.
    if (const auto& refusal = UserDefaults::standard().refusal())
        connect(
            window_.get(), &ContentView::appeared, model_.get(),
            [model = model_.get(), alert = AppAlert::make("Your settings couldn't be used", refusal->toStdString())] {
                model->setAlert(alert);
            },
            Qt::SingleShotConnection);
}

KestrelmoorApp::~KestrelmoorApp()
{
    delete settingsWindow_.data();
    // Windows and menus go before the model they observe.
    delete commands_;
    commands_ = nullptr;
    window_.reset();
}

void KestrelmoorApp::show()
{
    window_->show();
}

void KestrelmoorApp::showSettings()
{
    if (!settingsWindow_) {
        auto* window = new QWidget(nullptr, Qt::Window);
        window->setObjectName(QStringLiteral("settingsWindow"));
        window->setWindowTitle(QStringLiteral("Settings"));
        window->setAttribute(Qt::WA_DeleteOnClose);
        // Closing the main window quits even while Settings is open.
        window->setAttribute(Qt::WA_QuitOnClose, false);
        window->setFixedSize(600, 500);
        auto* layout = new QVBoxLayout(window);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->addWidget(DetailRouter::makeScreen(SidebarItem::settings, *model_, window));
        settingsWindow_ = window;
    }
    settingsWindow_->show();
    settingsWindow_->raise();
    settingsWindow_->activateWindow();
}
