#pragma once

#include "app/AppModel.h"

#include <QObject>
#include <QPointer>
#include <QWidget>

#include <memory>

class ContentView;
class KestrelmoorCommands;

// The program's top-level object: the one model for the whole run, the main
// window with its menus, and the Settings window while it is open.
class KestrelmoorApp : public QObject {
    Q_OBJECT

public:
    // Registers the setting defaults, then builds the model (which opens the scan
    // cache) and the main window. `model` may be given by tests.
    explicit KestrelmoorApp(std::unique_ptr<AppModel> model = nullptr, QObject* parent = nullptr);
    ~KestrelmoorApp() override;

    AppModel& model() const { return *model_; }
    ContentView& mainWindow() const { return *window_; }
    KestrelmoorCommands& commands() const { return *commands_; }
    QWidget* settingsWindow() const { return settingsWindow_; }

    void show();
    void showSettings();

private:
    std::unique_ptr<AppModel> model_;
    std::unique_ptr<ContentView> window_;
    KestrelmoorCommands* commands_ = nullptr;
    QPointer<QWidget> settingsWindow_;
};
