#include "ui/screens/system/AppDetailView.h"

#include "analysis/ByteFormatter.h"
#include "analysis/HomeAbbreviation.h"
#include "app/system/AppAlert.h"
#include "app/AppModel.h"
#include "app/ApplicationsStore.h"
#include "app/LatestLoad.h"
#include "app/system/ProcessQuitter.h"
#include "app/QtText.h"
#include "app/system/RunningApplications.h"
#include "app/SystemMonitorStore.h"
#include "platform/DesktopServices.h"
#include "platform/Paths.h"
#include "platform/SystemPaths.h"
#include "scanning/FinderActions.h"
#include "scanning/SecurityUtils.h"
#include "ui/components/CommonText.h"
#include "ui/components/LocaleText.h"
#include "ui/components/ScreenParts.h"
#include "ui/components/SectionCard.h"
#include "ui/components/ApplicationIcon.h"
#include "ui/components/TextStyle.h"
#include "ui/screens/system/ApplicationStorageView.h"
#include "ui/screens/system/WrappingText.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

const QString dash = QStringLiteral("\u2014");

QLabel* wrappingLabel(QWidget* parent, const QString& name = {})
{
    auto* label = new QLabel(parent);
    label->setObjectName(name);
    label->setWordWrap(true);
    // Wrapped text asks for no width of its own: the panel's width decides.
    label->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    return label;
}

struct Metric {
    QWidget* box;
    QLabel* value;
    QLabel* note;
};

Metric metricRow(const QString& label, const std::optional<QString>& note, QWidget* parent)
{
    auto* box = new QWidget(parent);
    auto* stack = new QVBoxLayout(box);
    stack->setContentsMargins(0, 0, 0, 0);
    stack->setSpacing(2);
    auto* row = new QHBoxLayout;
    auto* title = wrappingLabel(box);
    title->setText(label);
    row->addWidget(title, 1);
    auto* value = new QLabel(box);
    value->setObjectName(QStringLiteral("metricValue"));
    value->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    applyTextStyle(value, TextStyle::headline, QFont::DemiBold);
    row->addWidget(value);
    stack->addLayout(row);
    QLabel* noteLabel = nullptr;
    if (note) {
        noteLabel = wrappingLabel(box, QStringLiteral("metricNote"));
        noteLabel->setText(*note);
        applyTextStyle(noteLabel, TextStyle::caption);
        applyTextColor(noteLabel, textColor(TextEmphasis::secondary));
        stack->addWidget(noteLabel);
    }
    return {box, value, noteLabel};
}

const QString detailLabels[] = {
    QStringLiteral("Developer"),    QStringLiteral("Bundle ID"),   QStringLiteral("Team ID"),
    QStringLiteral("Architecture"), QStringLiteral("Minimum macOS"), QStringLiteral("Last opened"),
    QStringLiteral("Location"),     QStringLiteral("Signature"),
};

} // namespace

AppDetailView::AppDetailView(AppModel& model, ApplicationInfo app, QWidget* parent, ApplicationStorageView* storage)
    : QScrollArea(parent)
    , model_(model)
    , app_(std::move(app))
    , storage_(storage ? storage : new ApplicationStorageView(model, app_))
    , trashJudging_(new LatestLoad(this))
{
    // As wide as the inspector's column, never wider.
    QVBoxLayout* layout = makeScrollPage(this, PageWidth::follows, 14);
    QWidget* body = widget();
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);

    auto* header = new QHBoxLayout;
    header->setSpacing(12);
    icon_ = new QLabel(body);
    icon_->setFixedSize(56, 56);
    header->addWidget(icon_, 0, Qt::AlignTop);
    auto* titles = new QVBoxLayout;
    titles->setSpacing(2);
    name_ = wrappingLabel(body, QStringLiteral("appName"));
    applyTextStyle(name_, TextStyle::title3, QFont::DemiBold);
    titles->addWidget(name_);
    version_ = wrappingLabel(body, QStringLiteral("appVersion"));
    applyTextColor(version_, textColor(TextEmphasis::secondary));
    titles->addWidget(version_);
    titles->addStretch(1);
    header->addLayout(titles, 1);
    layout->addLayout(header);

    auto* grid = new QGridLayout;
    grid->setHorizontalSpacing(10);
    grid->setVerticalSpacing(6);
    int row = 0;
    for (const QString& label : detailLabels) {
        auto* labelWidget = new QLabel(label, body);
        labelWidget->setObjectName(QStringLiteral("title:") + label);
        applyTextColor(labelWidget, textColor(TextEmphasis::secondary));
        grid->addWidget(labelWidget, row, 0, Qt::AlignRight | Qt::AlignTop);
        auto* value = new WrappingText(body);
        value->setObjectName(QStringLiteral("detail:") + label);
        grid->addWidget(value, row, 1);
        details_[label] = {labelWidget, value};
        ++row;
    }
    grid->setColumnStretch(1, 1);
    layout->addLayout(grid);

    verify_ = new QPushButton(QStringLiteral("Verify Code Signature"), body);
    verify_->setObjectName(QStringLiteral("verifySignature"));
    verify_->setToolTip(
        QStringLiteral("Checks the application's files against their signature. Can take a while for large apps."));
    connect(verify_, &QPushButton::clicked, this, [this] { model_.apps().validateSignature(app_); });
    layout->addWidget(verify_, 0, Qt::AlignLeft);

    const Metric disk = metricRow(QStringLiteral("Application Size"),
                                  QStringLiteral("Space the application's installed files occupy on disk."), body);
    bundleSize_ = disk.value;
    layout->addWidget(new SectionCard(QStringLiteral("Disk"), QStringLiteral("internaldrive"), disk.box));

    auto* memory = new QWidget(body);
    auto* memoryStack = new QVBoxLayout(memory);
    memoryStack->setContentsMargins(0, 0, 0, 0);
    auto* idle = wrappingLabel(memory, QStringLiteral("notRunning"));
    idle->setText(QStringLiteral("Not running \u2014 it uses no RAM or CPU."));
    applyTextColor(idle, textColor(TextEmphasis::secondary));
    idle_ = idle;
    memoryStack->addWidget(idle_);
    running_ = new QWidget(memory);
    auto* runningStack = new QVBoxLayout(running_);
    runningStack->setContentsMargins(0, 0, 0, 0);
    const Metric ram = metricRow(QStringLiteral("RAM"), QString(), running_);
    ram_ = ram.value;
    ramNote_ = ram.note;
    runningStack->addWidget(ram.box);
    const Metric cpu = metricRow(QStringLiteral("CPU"), QStringLiteral("100% = one full CPU core."), running_);
    cpu_ = cpu.value;
    runningStack->addWidget(cpu.box);
    const Metric processes = metricRow(QStringLiteral("Processes"), std::nullopt, running_);
    processes_ = processes.value;
    runningStack->addWidget(processes.box);
    memoryStack->addWidget(running_);
    layout->addWidget(new SectionCard(QStringLiteral("Memory & CPU \u2014 right now"), QStringLiteral("memorychip"), memory));
    layout->addWidget(
        new SectionCard(QStringLiteral("Storage Breakdown"), QStringLiteral("chart.bar.doc.horizontal"), storage_));

    auto* actions = new QVBoxLayout;
    actions->setSpacing(6);
    auto* open = linkButton(QStringLiteral("Open"), "arrow.up.forward.app", body);
    connect(open, &QToolButton::clicked, this, &AppDetailView::open);
    actions->addWidget(open, 0, Qt::AlignLeft);
    auto* reveal = linkButton(CommonText::revealAction(), "folder", body);
    connect(reveal, &QToolButton::clicked, this, [this] { FinderActions::reveal({app_.path}, model_.desktop()); });
    actions->addWidget(reveal, 0, Qt::AlignLeft);
    quit_ = linkButton(QStringLiteral("Quit\u2026"), "xmark.circle", body);
    quit_->setObjectName(QStringLiteral("quit"));
    connect(quit_, &QToolButton::clicked, this, [this] { requestQuit(false); });
    actions->addWidget(quit_, 0, Qt::AlignLeft);
    forceQuit_ = linkButton(QStringLiteral("Force Quit\u2026"), "exclamationmark.octagon", body);
    forceQuit_->setObjectName(QStringLiteral("forceQuit"));
    connect(forceQuit_, &QToolButton::clicked, this, [this] { requestQuit(true); });
    actions->addWidget(forceQuit_, 0, Qt::AlignLeft);
    // A packaged application is removed by its package manager; moving its folder would break the package.
    removalCommand_ = wrappingLabel(body, QStringLiteral("removalCommand"));
    removalCommand_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    actions->addWidget(removalCommand_);
    copyRemoval_ = linkButton(QStringLiteral("Copy Removal Command"), "doc.on.doc", body);
    copyRemoval_->setObjectName(QStringLiteral("copyRemoval"));
    connect(copyRemoval_, &QToolButton::clicked, this, [this] {
        if (app_.removalCommand)
            model_.desktop().copyText(*app_.removalCommand);
    });
    actions->addWidget(copyRemoval_, 0, Qt::AlignLeft);
    trash_ = linkButton(QStringLiteral("Move App to Trash\u2026"), "trash", body);
    trash_->setObjectName(QStringLiteral("trash"));
    connect(trash_, &QToolButton::clicked, this, [this] {
        const auto& sizes = model_.apps().bundleSizes();
        const auto size = sizes.find(app_.path);
        model_.requestTrash({TrashCandidate{app_.path, Paths::lastComponent(app_.path),
                                            size == sizes.end() ? std::nullopt
                                                                : std::optional<std::int64_t>(size->second.allocatedSize),
                                            true, std::nullopt}});
    });
    actions->addWidget(trash_, 0, Qt::AlignLeft);
    protectedNote_ = new QLabel(qstr(std::string(SecurityUtils::protectedTitle)), body);
    applyTextStyle(protectedNote_, TextStyle::caption);
    applyTextColor(protectedNote_, textColor(TextEmphasis::secondary));
    actions->addWidget(protectedNote_);
    layout->addLayout(actions);
    layout->addStretch(1);

    storage_->setApplication(app_);
    connect(&model_.monitor(), &SystemMonitorStore::processesChanged, this, &AppDetailView::refresh);
    connect(&model_.apps(), &ApplicationsStore::bundleSizesChanged, this, &AppDetailView::refresh);
    connect(&model_.apps(), &ApplicationsStore::signatureChecksChanged, this, &AppDetailView::refresh);
    connect(&ApplicationIcon::announcer(), &ApplicationIcon::found, this, &AppDetailView::refresh);
    judgeTrash();
    refresh();
}

void AppDetailView::setApplication(ApplicationInfo app)
{
    const bool another = app.id() != app_.id() || app.path != app_.path;
    app_ = std::move(app);
    if (another) {
        confirmQuit_.reset();
        // The question named the application that was shown.
        if (quitDialog_)
            quitDialog_->reject();
        judgeTrash();
    }
    storage_->setApplication(app_);
    refresh();
}

bool AppDetailView::isJudgingTrash() const { return trashJudging_->isBusy(); }

void AppDetailView::judgeTrash()
{
    trashProtected_.reset();
    if (app_.isPackageManaged()) {
        trashJudging_->cancel();
        return;
    }
    // The verdict looks at the file system (links, mounts, ownership): off the main thread, once per application.
    trashJudging_->start(
        [path = app_.path] {
            return SecurityUtils::evaluate(path, SystemPaths::homeDirectory(), SecurityUtils::appOwnedPaths(), true)
                .isProtected();
        },
        [this](bool isProtected) {
            trashProtected_ = isProtected;
            refresh();
        },
        [this](const std::string&) {
            trashProtected_ = true;
            refresh();
        });
}

QString AppDetailView::memoryNote(const ApplicationUsage& usage)
{
    QString note = QStringLiteral("Physical memory footprint of %1 process").arg(usage.processCount);
    if (usage.processCount != 1)
        note += QStringLiteral("es");
    if (usage.restrictedProcessCount > 0)
        note += QStringLiteral(" (%1 not readable)").arg(usage.restrictedProcessCount);
    return note + QStringLiteral(".");
}

QString AppDetailView::bundleSizeText(const std::optional<FolderSizeResult>& size)
{
    if (!size)
        return QStringLiteral("Measuring\u2026");
    QString text = qstr(ByteFormatter::string(size->allocatedSize));
    if (size->restrictedFolderCount > 0 || size->wasCancelled)
        text += QStringLiteral(" (partial)");
    return text;
}

std::optional<ProcessSnapshot> AppDetailView::quitTarget(const ApplicationInfo& app,
                                                         const std::vector<ProcessSnapshot>& processes)
{
    for (const auto& process : processes)
        if (RunningApplications::belongsTo(process, app))
            return process;
    return std::nullopt;
}

void AppDetailView::openApplication(AppModel& model, const ApplicationInfo& app)
{
    std::optional<std::string> failure;
    if (RunningApplications::canLaunch(app))
        failure = RunningApplications::launch(app);
    else if (!model.desktop().openItem(app.path))
        failure = "The desktop could not open " + app.path + ".";
    if (failure)
        model.setAlert(AppAlert::make("Couldn't open " + app.name, *failure));
}

void AppDetailView::requestQuit(bool force)
{
    const auto target = quitTarget(app_, model_.monitor().processes());
    if (!target)
        return;
    confirmQuit_ = std::make_pair(force, *target);
    showQuitDialog();
}

void AppDetailView::confirmQuit(const std::string& procRoot)
{
    if (!confirmQuit_)
        return;
    const auto [force, process] = *confirmQuit_;
    confirmQuit_.reset();
    if (const auto failure = ProcessQuitter::quit(process, force, procRoot))
        model_.setAlert(AppAlert::make("Couldn't quit the process", *failure));
}

void AppDetailView::showQuitDialog()
{
    if (!confirmQuit_)
        return;
    if (quitDialog_)
        quitDialog_->reject();
    const bool force = confirmQuit_->first;
    const QString name = qstr(app_.name);
    auto* box = new QMessageBox(this);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setIcon(QMessageBox::Warning);
    box->setText(force ? QStringLiteral("Force quit %1?").arg(name) : QStringLiteral("Quit %1?").arg(name));
    const QString who = QStringLiteral("\u201C%1\u201D (PID %2)\n\n")
                            .arg(qstr(confirmQuit_->second.name))
                            .arg(confirmQuit_->second.pid);
    box->setInformativeText(
        who + (force ? QStringLiteral("Unsaved changes in %1 will be lost.").arg(name)
                     : qstr(ProcessQuitter::confirmationMessage(false, ProcessQuitter::canAskToSave(confirmQuit_->second)))));
    QPushButton* act = box->addButton(force ? QStringLiteral("Force Quit") : QStringLiteral("Quit"),
                                      force ? QMessageBox::DestructiveRole : QMessageBox::AcceptRole);
    QPushButton* cancel = box->addButton(QStringLiteral("Cancel"), QMessageBox::RejectRole);
    box->setDefaultButton(cancel);
    connect(box, &QMessageBox::finished, this, [this, box, act] {
        if (box->clickedButton() == act)
            confirmQuit();
        else
            cancelQuit();
    });
    quitDialog_ = box;
    box->open();
}

void AppDetailView::refresh()
{
    const std::string home = SystemPaths::homeDirectory();
    const ApplicationUsage usage = RunningApplications::usage(app_, model_.monitor().processes());
    const auto& sizes = model_.apps().bundleSizes();
    const auto sizeFound = sizes.find(app_.path);
    const std::optional<FolderSizeResult> bundleSize =
        sizeFound == sizes.end() ? std::nullopt : std::optional<FolderSizeResult>(sizeFound->second);

    icon_->setPixmap(ApplicationIcon::of(app_, textColor(TextEmphasis::secondary)).pixmap(56, 56));
    name_->setText(qstr(app_.name));
    version_->setText(qstr(app_.displayVersion()));

    // The identifier of an application of the desktop is its application ID, not a bundle's.
    const bool desktop = app_.desktopEntryID.has_value();
    details_.at(QStringLiteral("Bundle ID")).first->setText(desktop ? QStringLiteral("App ID") : QStringLiteral("Bundle ID"));
    const auto& checks = model_.apps().signatureChecks();
    const auto check = checks.find(app_.path);
    const std::pair<QString, std::optional<QString>> values[] = {
        {QStringLiteral("Developer"),
         app_.developer ? qstr(*app_.developer)
                        : (app_.isAppStoreApp ? QStringLiteral("Mac App Store (developer name not in signature)")
                                              : QStringLiteral("Unknown"))},
        {QStringLiteral("Bundle ID"), app_.bundleIdentifier ? qstr(*app_.bundleIdentifier) : dash},
        // A developer team is a signing authority's; an application of the desktop names none.
        {QStringLiteral("Team ID"), app_.teamIdentifier ? std::optional<QString>(qstr(*app_.teamIdentifier))
                                    : desktop ? std::nullopt : std::optional<QString>(dash)},
        {QStringLiteral("Architecture"), qstr(app_.architectureLabel())},
        // Desktop applications declare no minimum system version: the row would say nothing true.
        {QStringLiteral("Minimum macOS"),
         app_.minimumSystemVersion ? std::optional<QString>(qstr(*app_.minimumSystemVersion)) : std::nullopt},
        {QStringLiteral("Last opened"), app_.lastUsed ? LocaleText::abbreviatedDate(*app_.lastUsed, LocaleText::TimeStyle::shortened)
                                                      : QStringLiteral("Not available")},
        {QStringLiteral("Location"), qstr(abbreviatingHome(app_.path, home))},
        {QStringLiteral("Signature"), qstr(check != checks.end() ? check->second.label() : app_.signature.label())},
    };
    for (const auto& [label, value] : values) {
        const auto& [title, shown] = details_.at(label);
        title->setVisible(value.has_value());
        shown->setVisible(value.has_value());
        if (value && shown->text() != *value)
            shown->setText(*value);
    }

    // Where this system cannot check signatures, asking again would only say so again.
    verify_->setVisible(app_.signature.kind != CodeSignatureStatus::Case::unavailable);
    bundleSize_->setText(bundleSizeText(bundleSize));

    const bool running = usage.processCount > 0;
    idle_->setVisible(!running);
    running_->setVisible(running);
    if (running) {
        ram_->setText(usage.restrictedProcessCount == usage.processCount ? QStringLiteral("Restricted")
                                                                         : qstr(ByteFormatter::string(usage.memoryBytes)));
        ramNote_->setText(memoryNote(usage));
        cpu_->setText(QString::asprintf("%.1f%%", usage.cpuPercent));
        processes_->setText(QString::number(usage.processCount));
    }

    const bool quittable = quitTarget(app_, model_.monitor().processes()).has_value();
    quit_->setVisible(quittable);
    forceQuit_->setVisible(quittable);
    const bool packaged = app_.isPackageManaged();
    removalCommand_->setVisible(packaged && app_.removalCommand);
    copyRemoval_->setVisible(packaged && app_.removalCommand);
    if (app_.removalCommand)
        removalCommand_->setText(qstr(*app_.removalCommand));
    trash_->setVisible(!packaged);
    // Until the verdict is in, the folder counts as protected.
    trash_->setEnabled(trashProtected_ == false && !app_.isSystemApp && usage.processCount <= 0);
    protectedNote_->setVisible(app_.isSystemApp);
}
