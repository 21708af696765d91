#pragma once

#include "index/ApplicationRecords.h"
#include "index/ProcessRecords.h"

#include <QWidget>

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <vector>

class AppModel;
class ProcessTableView;
class QComboBox;
class QLabel;
class QLineEdit;
class QMessageBox;
class QToolButton;

// The processes of this machine, narrowed by a scope and a filter, with Bring to
// Front, Reveal and Quit. Samples processes while it exists.
class RunningAppsView : public QWidget {
    Q_OBJECT

public:
    enum class Scope { apps, mine, all };

    explicit RunningAppsView(AppModel& model, QWidget* parent = nullptr);
    ~RunningAppsView() override;

    static QString title(Scope scope);
    // Keeps the sampler's order. An application process is one the desktop
    // started as an application, or one of an installed application.
    static std::vector<ProcessSnapshot> visible(const std::vector<ProcessSnapshot>& processes, Scope scope,
                                                const QString& filter, std::uint32_t currentUID,
                                                const std::vector<ApplicationInfo>& apps);
    static QString dialogTitle(const ProcessSnapshot& process, bool force);
    // Several processes: how many, then who ("“a” (PID 1), …") and what quitting does.
    static QString dialogTitle(const std::vector<ProcessSnapshot>& processes, bool force);
    static QString dialogMessage(const std::vector<ProcessSnapshot>& processes, bool force);
    // The first visible process in the sampler's order that is selected.
    static const ProcessSnapshot* selectedProcess(const std::vector<ProcessSnapshot>& visible,
                                                  const std::set<std::int32_t>& selection);

    ProcessTableView& table() const { return *table_; }
    void setScope(Scope scope);
    void setFilter(const QString& text);
    // Opens the confirmation; its destructive button calls terminate.
    void requestQuit(const std::vector<ProcessSnapshot>& processes, bool force);
    // Quits each process; every failure is reported in one alert.
    void terminate(const std::vector<ProcessSnapshot>& processes, bool force);
    QMessageBox* confirmation() const { return confirmation_; }
    QMessageBox* errorAlert() const { return errorAlert_; }

private:
    void refresh();
    void updateToolbar();
    void showError(const std::string& message);

    AppModel& model_;
    Scope scope_ = Scope::apps;
    QString filter_;
    std::vector<ProcessSnapshot> visible_;
    QComboBox* scopePicker_;
    QLineEdit* filterField_;
    QLabel* count_;
    ProcessTableView* table_;
    QToolButton* front_;
    QToolButton* reveal_;
    QToolButton* quit_;
    QMessageBox* confirmation_ = nullptr;
    QMessageBox* errorAlert_ = nullptr;
};
