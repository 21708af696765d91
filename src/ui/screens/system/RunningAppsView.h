#pragma once

#include "index/ApplicationRecords.h"
#include "index/ProcessRecords.h"

#include <QMessageBox>
#include <QPointer>
#include <QWidget>

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

class AppModel;
class EmptyStateView;
class ProcessTableView;
class QComboBox;
class QLabel;
class QLineEdit;
class QStackedWidget;
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
    // started as an application, or one of an installed application. "My
    // Processes" leaves out kernel threads, which the administrator owns.
    static std::vector<ProcessSnapshot> visible(const std::vector<ProcessSnapshot>& processes, Scope scope,
                                                const QString& filter, std::uint32_t currentUID,
                                                const std::vector<ApplicationInfo>& apps);
    static QString dialogTitle(const ProcessSnapshot& process, bool force);
    // Several processes: how many, then who ("“a” (PID 1), …") and what quitting does.
    static QString dialogTitle(const std::vector<ProcessSnapshot>& processes, bool force);
    // Who (“a” (PID 1), …) and what quitting does.
    static QString dialogMessage(const std::vector<ProcessSnapshot>& processes, bool force);
    // Why the table is empty: the title and the line under it.
    static std::pair<QString, QString> emptyText(Scope scope, const QString& filter, bool sampled);
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
    // Raises the process's own window; a failure is reported in an alert of its own.
    void bringToFront(const ProcessSnapshot& process);
    EmptyStateView& emptyState() const { return *empty_; }
    QMessageBox* confirmation() const { return confirmation_; }
    QMessageBox* errorAlert() const { return errorAlert_; }

private:
    void refresh();
    void updateSampleTime();
    void updateToolbar();
    void showError(const QString& title, const std::string& message, const std::string& details = {});

    AppModel& model_;
    Scope scope_ = Scope::apps;
    QString filter_;
    std::vector<ProcessSnapshot> visible_;
    QComboBox* scopePicker_;
    QLineEdit* filterField_;
    QLabel* count_;
    QStackedWidget* rows_;
    ProcessTableView* table_;
    EmptyStateView* empty_;
    QToolButton* front_;
    QToolButton* reveal_;
    QToolButton* quit_;
    // Guarded, not cleared from `destroyed`: the view's own teardown deletes them after its members are gone.
    QPointer<QMessageBox> confirmation_;
    QPointer<QMessageBox> errorAlert_;
};
