#include "ui/screens/system/RunningAppsView.h"

#include "app/AppModel.h"
#include "app/ApplicationsStore.h"
#include "app/system/ProcessQuitter.h"
#include "app/system/RunningApplications.h"
#include "app/SystemMonitorStore.h"
#include "scanning/FinderActions.h"
#include "platform/ProcessWindows.h"
#include "ui/components/EmptyStateView.h"
#include "ui/components/ScreenParts.h"
#include "ui/components/LocaleText.h"
#include "ui/components/TextStyle.h"
#include "ui/screens/system/ProcessContextMenu.h"
#include "ui/screens/system/ProcessIcon.h"
#include "ui/screens/system/ProcessTableView.h"
#include "ui/screens/system/ProcessTableModel.h"

#include <QComboBox>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QStackedWidget>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

#include <unistd.h>

RunningAppsView::RunningAppsView(AppModel& model, QWidget* parent)
    : QWidget(parent),
      model_(model),
      scopePicker_(new QComboBox(this)),
      filterField_(new QLineEdit(this)),
      count_(new QLabel(this)),
      rows_(new QStackedWidget(this)),
      table_(new ProcessTableView(rows_)),
      empty_(new EmptyStateView(QStringLiteral("macwindow"), QString(), QString(), rows_)),
      front_(toolbarButton(QStringLiteral("Bring to Front"), "macwindow", this)),
      reveal_(toolbarButton(QStringLiteral("Reveal"), "folder", this)),
      quit_(toolbarButton(QStringLiteral("Quit"), "xmark.circle", this))
{
    setWindowTitle(QStringLiteral("Running Apps"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    auto* toolbar = new QHBoxLayout;
    toolbar->setContentsMargins(12, 6, 12, 0);
    toolbar->addWidget(makeScreenTitle(QStringLiteral("Running Apps"), this));
    toolbar->addStretch(1);
    front_->setObjectName(QStringLiteral("frontButton"));
    toolbar->addWidget(front_);
    toolbar->addWidget(reveal_);
    toolbar->addWidget(quit_);
    layout->addLayout(toolbar);

    auto* header = new QHBoxLayout;
    header->setContentsMargins(12, 6, 12, 6);
    header->addWidget(new QLabel(QStringLiteral("Show"), this));
    for (Scope scope : {Scope::apps, Scope::mine, Scope::all}) scopePicker_->addItem(title(scope));
    scopePicker_->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    header->addWidget(scopePicker_);
    filterField_->setPlaceholderText(QStringLiteral("Name or PID"));
    filterField_->setClearButtonEnabled(true);
    filterField_->setMinimumWidth(100);
    filterField_->setMaximumWidth(200);
    header->addWidget(filterField_);
    header->addSpacing(8);
    header->addStretch(1);
    applyTextColor(count_, textColor(TextEmphasis::secondary));
    header->addWidget(count_);
    layout->addLayout(header);

    layout->addWidget(divider(this));
    rows_->addWidget(table_);
    rows_->addWidget(empty_);
    layout->addWidget(rows_, 1);
    layout->addWidget(divider(this));
    auto* footnote = new QLabel(
        QStringLiteral("CPU %: 100% equals one full core. Memory is the process's own memory, resident or swapped "
                       "out (not shared files). “Restricted” means the system doesn't let this account read that "
                       "process."),
        this);
    footnote->setWordWrap(true);
    footnote->setContentsMargins(16, 6, 16, 6);
    applyTextStyle(footnote, TextStyle::caption);
    applyTextColor(footnote, textColor(TextEmphasis::secondary));
    layout->addWidget(footnote);

    table_->tableModel().setIconSource([this](const ProcessSnapshot& process) {
        return ProcessIcon::of(process, model_.apps().apps());
    });
    table_->setMenuBuilder([this](QMenu& menu, const std::vector<ProcessSnapshot>& processes) {
        ProcessContextMenu::fill(menu, processes, model_.apps().apps(), model_.desktop(), model_.processWindows(),
                                 {[this](const std::vector<ProcessSnapshot>& targets, bool force) { requestQuit(targets, force); },
                                  [this](const ProcessSnapshot& process) { bringToFront(process); }});
    });
    connect(table_, &ProcessTableView::selectedProcessesChanged, this, &RunningAppsView::updateToolbar);
    connect(scopePicker_, &QComboBox::currentIndexChanged, this,
            [this](int index) { setScope(static_cast<Scope>(index)); });
    connect(filterField_, &QLineEdit::textChanged, this, &RunningAppsView::setFilter);

    connect(front_, &QToolButton::clicked, this, [this] {
        if (const ProcessSnapshot* process = selectedProcess(visible_, table_->selectedPids())) bringToFront(*process);
    });
    connect(reveal_, &QToolButton::clicked, this, [this] {
        const ProcessSnapshot* process = selectedProcess(visible_, table_->selectedPids());
        if (process && process->executablePath)
            FinderActions::reveal({ProcessTableModel::revealPath(*process->executablePath)}, model_.desktop());
    });
    connect(quit_, &QToolButton::clicked, this, [this] {
        if (const ProcessSnapshot* process = selectedProcess(visible_, table_->selectedPids())) requestQuit({*process}, false);
    });

    SystemMonitorStore& monitor = model_.monitor();
    // Every sample changes both; the rows follow the processes alone, once per sample.
    connect(&monitor, &SystemMonitorStore::processesChanged, this, &RunningAppsView::refresh);
    connect(&monitor, &SystemMonitorStore::lastProcessSampleChanged, this, &RunningAppsView::updateSampleTime);
    connect(&model_.apps(), &ApplicationsStore::appsChanged, this, &RunningAppsView::refresh);
    monitor.subscribe(true);
    refresh();
}

RunningAppsView::~RunningAppsView()
{
    model_.monitor().unsubscribe(true);
}

QString RunningAppsView::title(Scope scope)
{
    switch (scope) {
    case Scope::apps: return QStringLiteral("Apps");
    case Scope::mine: return QStringLiteral("My Processes");
    default: return QStringLiteral("All Processes");
    }
}

std::vector<ProcessSnapshot> RunningAppsView::visible(const std::vector<ProcessSnapshot>& processes, Scope scope,
                                                      const QString& filter, std::uint32_t currentUID,
                                                      const std::vector<ApplicationInfo>& apps)
{
    std::vector<ProcessSnapshot> result;
    for (const auto& process : processes) {
        const bool mine = process.ownerUID && *process.ownerUID == currentUID;
        if (scope != Scope::all && (!mine || process.isKernelThread())) continue;
        if (scope == Scope::apps && !process.sessionAppID && !RunningApplications::applicationOf(process, apps))
            continue;
        if (!filter.isEmpty() && !QString::fromStdString(process.name).contains(filter, Qt::CaseInsensitive)
            && QString::number(process.pid) != filter)
            continue;
        result.push_back(process);
    }
    return result;
}

QString RunningAppsView::dialogTitle(const ProcessSnapshot& process, bool force)
{
    const QString name = QString::fromStdString(process.name);
    return force ? QStringLiteral("Force quit “%1” (PID %2)?").arg(name).arg(process.pid)
                 : QStringLiteral("Quit “%1”?").arg(name);
}

const ProcessSnapshot* RunningAppsView::selectedProcess(const std::vector<ProcessSnapshot>& visible,
                                                        const std::set<std::int32_t>& selection)
{
    for (const auto& process : visible)
        if (selection.count(process.pid)) return &process;
    return nullptr;
}

void RunningAppsView::setScope(Scope scope)
{
    scope_ = scope;
    if (scopePicker_->currentIndex() != static_cast<int>(scope)) scopePicker_->setCurrentIndex(static_cast<int>(scope));
    refresh();
}

void RunningAppsView::setFilter(const QString& text)
{
    filter_ = text;
    if (filterField_->text() != text) filterField_->setText(text);
    refresh();
}

void RunningAppsView::refresh()
{
    visible_ = visible(model_.monitor().processes(), scope_, filter_, ::getuid(), model_.apps().apps());
    table_->setProcesses(visible_);
    count_->setText(LocaleText::count(static_cast<std::int64_t>(visible_.size()), QStringLiteral("process"),
                                      QStringLiteral("processes")));
    const auto [title, line] = emptyText(scope_, filter_, model_.monitor().lastProcessSample().has_value());
    empty_->setTitle(title);
    empty_->setDescription(line);
    rows_->setCurrentWidget(visible_.empty() ? static_cast<QWidget*>(empty_) : table_);
    updateSampleTime();
    updateToolbar();
}

void RunningAppsView::updateSampleTime()
{
    const auto sample = model_.monitor().lastProcessSample();
    count_->setToolTip(sample ? QStringLiteral("Updated ") + LocaleText::timeOfDay(*sample) : QString());
}

std::pair<QString, QString> RunningAppsView::emptyText(Scope scope, const QString& filter, bool sampled)
{
    if (!sampled) return {QStringLiteral("Reading Processes\u2026"), QStringLiteral("The first sample of the process table is on its way.")};
    if (!filter.isEmpty())
        return {QStringLiteral("No Matches"),
                QStringLiteral("No process shown under “%1” has a name containing “%2” or the PID %2.").arg(title(scope), filter)};
    switch (scope) {
    case Scope::apps:
        return {QStringLiteral("No Apps Running"),
                QStringLiteral("None of your processes belongs to an application the desktop started or that is "
                               "installed. Choose “My Processes” or “All Processes” under Show to list every process.")};
    case Scope::mine:
        return {QStringLiteral("No Processes"), QStringLiteral("No process of this account is running.")};
    default:
        return {QStringLiteral("No Processes"), QStringLiteral("The process table could not be read.")};
    }
}

void RunningAppsView::updateToolbar()
{
    const ProcessSnapshot* process = selectedProcess(visible_, table_->selectedPids());
    const auto frontRefusal = process ? ProcessContextMenu::frontRefusal(*process, model_.processWindows()) : std::nullopt;
    front_->setEnabled(process && !frontRefusal);
    front_->setToolTip(frontRefusal ? QString::fromStdString(*frontRefusal)
                                    : QStringLiteral("Bring the selected process's window to the front"));
    reveal_->setEnabled(process && process->executablePath);
    const auto reason = process ? ProcessContextMenu::refusal(*process) : std::nullopt;
    quit_->setEnabled(process && !reason);
    quit_->setToolTip(reason ? QString::fromStdString(*reason) : QStringLiteral("Quit the selected process"));
}

QString RunningAppsView::dialogTitle(const std::vector<ProcessSnapshot>& processes, bool force)
{
    if (processes.size() == 1) return dialogTitle(processes.front(), force);
    return (force ? QStringLiteral("Force quit %1 processes?") : QStringLiteral("Quit %1 processes?")).arg(processes.size());
}

QString RunningAppsView::dialogMessage(const std::vector<ProcessSnapshot>& processes, bool force)
{
    // Only a process with a window can be asked to close and offer to save.
    const bool allCanSave = std::all_of(processes.begin(), processes.end(), [](const ProcessSnapshot& process) {
        return ProcessQuitter::canAskToSave(process);
    });
    const QString consequence = QString::fromStdString(ProcessQuitter::confirmationMessage(force, !force && allCanSave));
    constexpr std::size_t named = 10;
    QStringList names;
    for (std::size_t i = 0; i < std::min(processes.size(), named); ++i)
        names << QStringLiteral("“%1” (PID %2)").arg(QString::fromStdString(processes[i].name)).arg(processes[i].pid);
    QString who = names.join(QStringLiteral(", "));
    if (processes.size() > named) who += QStringLiteral(" and %1 more").arg(processes.size() - named);
    return who + QStringLiteral("\n\n") + consequence;
}

void RunningAppsView::requestQuit(const std::vector<ProcessSnapshot>& processes, bool force)
{
    if (processes.empty()) return;
    delete confirmation_;
    const QString title = dialogTitle(processes, force);
    confirmation_ = new QMessageBox(QMessageBox::Warning, title, title, QMessageBox::NoButton, this);
    confirmation_->setInformativeText(dialogMessage(processes, force));
    QPushButton* act = confirmation_->addButton(force ? QStringLiteral("Force Quit") : QStringLiteral("Quit"),
                                                QMessageBox::DestructiveRole);
    QPushButton* cancel = confirmation_->addButton(QStringLiteral("Cancel"), QMessageBox::RejectRole);
    confirmation_->setDefaultButton(cancel);
    connect(act, &QPushButton::clicked, this, [this, processes, force] { terminate(processes, force); });
    connect(confirmation_, &QMessageBox::finished, confirmation_, &QObject::deleteLater);
    confirmation_->open();
}

void RunningAppsView::terminate(const std::vector<ProcessSnapshot>& processes, bool force)
{
    std::vector<std::pair<ProcessSnapshot, std::string>> failures;
    for (const ProcessSnapshot& process : processes)
        if (auto message = ProcessQuitter::quit(process, force)) failures.emplace_back(process, std::move(*message));
    if (failures.empty()) return;
    const auto report = ProcessQuitter::failureReport(failures, processes.size());
    showError(QStringLiteral("Couldn't quit the process"), report.message, report.details);
}

void RunningAppsView::bringToFront(const ProcessSnapshot& process)
{
    if (const auto failure = RunningApplications::bringToFront(process, model_.processWindows()))
        showError(QStringLiteral("Couldn't bring the process to the front"), *failure);
}

void RunningAppsView::showError(const QString& title, const std::string& message, const std::string& details)
{
    delete errorAlert_;
    errorAlert_ = new QMessageBox(QMessageBox::Warning, title, title, QMessageBox::NoButton, this);
    errorAlert_->setInformativeText(QString::fromStdString(message));
    // A long list scrolls in the detail area, so that the alert and its button stay on screen.
    if (!details.empty()) errorAlert_->setDetailedText(QString::fromStdString(details));
    errorAlert_->addButton(QStringLiteral("OK"), QMessageBox::RejectRole);
    connect(errorAlert_, &QMessageBox::finished, errorAlert_, &QObject::deleteLater);
    errorAlert_->open();
}
