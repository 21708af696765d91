#include "ui/screens/system/AppDetailView.h"

#include "analysis/ByteFormatter.h"
#include "analysis/HomeAbbreviation.h"
#include "app/AppAlert.h"
#include "app/AppModel.h"
#include "app/ApplicationsStore.h"
#include "app/ProcessQuitter.h"
#include "app/QtText.h"
#include "app/RunningApplications.h"
#include "app/SystemMonitorStore.h"
#include "platform/DesktopServices.h"
#include "platform/Paths.h"
#include "platform/SystemPaths.h"
#include "scanning/FinderActions.h"
#include "scanning/SecurityUtils.h"
#include "ui/components/LocaleText.h"
#include "ui/components/SectionCard.h"
#include "ui/components/ApplicationIcon.h"
#include "ui/components/SymbolIcons.h"
#include "ui/components/TextStyle.h"
#include "ui/screens/system/ApplicationStorageView.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollBar>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

const QString dash = QStringLiteral("\u2014");

QWidget* metricRow(const QString& label, const QString& value, const std::optional<QString>& note, QWidget* parent)
{
    auto* box = new QWidget(parent);
    auto* stack = new QVBoxLayout(box);
    stack->setContentsMargins(0, 0, 0, 0);
    stack->setSpacing(2);
    auto* row = new QHBoxLayout;
    row->addWidget(new QLabel(label, box));
    row->addStretch(1);
    auto* valueLabel = new QLabel(value, box);
    valueLabel->setObjectName(QStringLiteral("metricValue"));
    applyTextStyle(valueLabel, TextStyle::headline, QFont::DemiBold);
    row->addWidget(valueLabel);
    stack->addLayout(row);
    if (note) {
        auto* noteLabel = new QLabel(*note, box);
        noteLabel->setObjectName(QStringLiteral("metricNote"));
        noteLabel->setWordWrap(true);
        applyTextStyle(noteLabel, TextStyle::caption);
        applyTextColor(noteLabel, textColor(TextEmphasis::secondary));
        stack->addWidget(noteLabel);
    }
    return box;
}

QToolButton* linkButton(const QString& title, const QString& symbol, QWidget* parent)
{
    auto* button = new QToolButton(parent);
    button->setText(title);
    button->setIcon(SymbolIcons::icon(stdstr(symbol), accentColor()));
    button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    button->setAutoRaise(true);
    return button;
}

} // namespace

AppDetailView::AppDetailView(AppModel& model, ApplicationInfo app, QWidget* parent, ApplicationStorageView* storage)
    : QScrollArea(parent)
    , model_(model)
    , app_(std::move(app))
    , storage_(storage ? storage : new ApplicationStorageView(model, app_))
{
    setWidgetResizable(true);
    setFrameShape(QFrame::NoFrame);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    storage_->setApplication(app_);
    connect(&model_.monitor(), &SystemMonitorStore::processesChanged, this, &AppDetailView::rebuild);
    connect(&model_.apps(), &ApplicationsStore::bundleSizesChanged, this, &AppDetailView::rebuild);
    connect(&model_.apps(), &ApplicationsStore::signatureChecksChanged, this, &AppDetailView::rebuild);
    rebuild();
}

void AppDetailView::setApplication(ApplicationInfo app)
{
    app_ = std::move(app);
    confirmQuit_.reset();
    storage_->setApplication(app_);
    rebuild();
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
    if (RunningApplications::canActivate(app))
        failure = RunningApplications::activate(app);
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
    const bool force = confirmQuit_->first;
    const QString name = qstr(app_.name);
    QMessageBox box(this);
    box.setIcon(QMessageBox::Warning);
    box.setText(force ? QStringLiteral("Force quit %1?").arg(name) : QStringLiteral("Quit %1?").arg(name));
    box.setInformativeText(
        force ? QStringLiteral("Unsaved changes in %1 will be lost.").arg(name)
              : qstr(ProcessQuitter::confirmationMessage(false, ProcessQuitter::canAskToSave(confirmQuit_->second))));
    QPushButton* act = box.addButton(force ? QStringLiteral("Force Quit") : QStringLiteral("Quit"),
                                     force ? QMessageBox::DestructiveRole : QMessageBox::AcceptRole);
    QPushButton* cancel = box.addButton(QStringLiteral("Cancel"), QMessageBox::RejectRole);
    box.setDefaultButton(cancel);
    box.exec();
    if (box.clickedButton() == act)
        confirmQuit();
    else
        cancelQuit();
}

void AppDetailView::rebuild()
{
    const int scrolled = verticalScrollBar() ? verticalScrollBar()->value() : 0;
    auto* body = new QWidget;
    auto* layout = new QVBoxLayout(body);
    layout->setContentsMargins(16, 16, 16, 16);
    layout->setSpacing(14);

    const std::string home = SystemPaths::homeDirectory();
    const ApplicationUsage usage = RunningApplications::usage(app_, model_.monitor().processes());
    const auto& sizes = model_.apps().bundleSizes();
    const auto sizeFound = sizes.find(app_.path);
    const std::optional<FolderSizeResult> bundleSize =
        sizeFound == sizes.end() ? std::nullopt : std::optional<FolderSizeResult>(sizeFound->second);

    // Header
    auto* header = new QHBoxLayout;
    header->setSpacing(12);
    auto* icon = new QLabel(body);
    icon->setPixmap(ApplicationIcon::of(app_, textColor(TextEmphasis::secondary)).pixmap(56, 56));
    header->addWidget(icon);
    auto* titles = new QVBoxLayout;
    titles->setSpacing(2);
    auto* name = new QLabel(qstr(app_.name), body);
    name->setObjectName(QStringLiteral("appName"));
    applyTextStyle(name, TextStyle::title3, QFont::DemiBold);
    titles->addWidget(name);
    auto* version = new QLabel(qstr(app_.displayVersion()), body);
    applyTextColor(version, textColor(TextEmphasis::secondary));
    titles->addWidget(version);
    header->addLayout(titles, 1);
    layout->addLayout(header);

    // Facts
    auto* grid = new QGridLayout;
    grid->setHorizontalSpacing(10);
    grid->setVerticalSpacing(6);
    int row = 0;
    auto detail = [&](const QString& label, const QString& value) {
        auto* labelWidget = new QLabel(label, body);
        applyTextColor(labelWidget, textColor(TextEmphasis::secondary));
        grid->addWidget(labelWidget, row, 0, Qt::AlignRight | Qt::AlignTop);
        auto* valueWidget = new QLabel(value, body);
        valueWidget->setObjectName(QStringLiteral("detail:") + label);
        valueWidget->setWordWrap(true);
        valueWidget->setTextInteractionFlags(Qt::TextSelectableByMouse);
        grid->addWidget(valueWidget, row, 1);
        ++row;
    };
    detail(QStringLiteral("Developer"),
           app_.developer ? qstr(*app_.developer)
                          : (app_.isAppStoreApp ? QStringLiteral("Mac App Store (developer name not in signature)")
                                                : QStringLiteral("Unknown")));
    detail(QStringLiteral("Bundle ID"), app_.bundleIdentifier ? qstr(*app_.bundleIdentifier) : dash);
    detail(QStringLiteral("Team ID"), app_.teamIdentifier ? qstr(*app_.teamIdentifier) : dash);
    detail(QStringLiteral("Architecture"), qstr(app_.architectureLabel()));
    // Desktop applications declare no minimum system version: the row would say nothing true.
    if (app_.minimumSystemVersion)
        detail(QStringLiteral("Minimum macOS"), qstr(*app_.minimumSystemVersion));
    detail(QStringLiteral("Last opened"), app_.lastUsed ? LocaleText::abbreviatedDate(app_.lastUsed, LocaleText::TimeStyle::shortened)
                                                        : QStringLiteral("Not available"));
    detail(QStringLiteral("Location"), qstr(abbreviatingHome(app_.path, home)));
    const auto& checks = model_.apps().signatureChecks();
    const auto check = checks.find(app_.path);
    detail(QStringLiteral("Signature"), qstr(check != checks.end() ? check->second.label() : app_.signature.label()));
    grid->setColumnStretch(1, 1);
    layout->addLayout(grid);

    auto* verify = new QPushButton(QStringLiteral("Verify Code Signature"), body);
    verify->setToolTip(QStringLiteral("Checks the whole bundle against its signature. Can take a while for large apps."));
    connect(verify, &QPushButton::clicked, this, [this] { model_.apps().validateSignature(app_); });
    layout->addWidget(verify, 0, Qt::AlignLeft);

    layout->addWidget(new SectionCard(QStringLiteral("Disk"), QStringLiteral("internaldrive"),
                                      metricRow(QStringLiteral("Application Bundle Size"), bundleSizeText(bundleSize),
                                             QStringLiteral("Space the .app bundle occupies on disk."), body)));

    QWidget* memory = nullptr;
    if (usage.processCount <= 0) {
        auto* idle = new QLabel(QStringLiteral("Not running \u2014 it uses no RAM or CPU."), body);
        applyTextColor(idle, textColor(TextEmphasis::secondary));
        memory = idle;
    } else {
        memory = new QWidget(body);
        auto* stack = new QVBoxLayout(memory);
        stack->setContentsMargins(0, 0, 0, 0);
        stack->addWidget(metricRow(QStringLiteral("RAM"),
                                usage.restrictedProcessCount == usage.processCount
                                    ? QStringLiteral("Restricted")
                                    : qstr(ByteFormatter::string(usage.memoryBytes)),
                                memoryNote(usage), memory));
        stack->addWidget(metricRow(QStringLiteral("CPU"), QString::asprintf("%.1f%%", usage.cpuPercent),
                                QStringLiteral("100% = one full CPU core."), memory));
        stack->addWidget(metricRow(QStringLiteral("Processes"), QString::number(usage.processCount), std::nullopt, memory));
    }
    layout->addWidget(new SectionCard(QStringLiteral("Memory & CPU \u2014 right now"), QStringLiteral("memorychip"), memory));
    layout->addWidget(
        new SectionCard(QStringLiteral("Storage Breakdown"), QStringLiteral("chart.bar.doc.horizontal"), storage_));

    // Actions
    auto* actions = new QVBoxLayout;
    actions->setSpacing(6);
    auto* open = linkButton(QStringLiteral("Open"), QStringLiteral("arrow.up.forward.app"), body);
    connect(open, &QToolButton::clicked, this, &AppDetailView::open);
    actions->addWidget(open);
    auto* reveal = linkButton(QStringLiteral("Reveal in Finder"), QStringLiteral("folder"), body);
    connect(reveal, &QToolButton::clicked, this, [this] { FinderActions::reveal({app_.path}, model_.desktop()); });
    actions->addWidget(reveal);
    if (quitTarget(app_, model_.monitor().processes())) {
        auto* quit = linkButton(QStringLiteral("Quit\u2026"), QStringLiteral("xmark.circle"), body);
        quit->setObjectName(QStringLiteral("quit"));
        connect(quit, &QToolButton::clicked, this, [this] { requestQuit(false); showQuitDialog(); });
        actions->addWidget(quit);
        auto* force = linkButton(QStringLiteral("Force Quit\u2026"), QStringLiteral("exclamationmark.octagon"), body);
        force->setObjectName(QStringLiteral("forceQuit"));
        connect(force, &QToolButton::clicked, this, [this] { requestQuit(true); showQuitDialog(); });
        actions->addWidget(force);
    }
    if (app_.isPackageManaged()) {
        // A packaged application is removed by its package manager; moving its folder would break the package.
        if (app_.removalCommand) {
            auto* command = new QLabel(qstr(*app_.removalCommand), body);
            command->setObjectName(QStringLiteral("removalCommand"));
            command->setTextInteractionFlags(Qt::TextSelectableByMouse);
            command->setWordWrap(true);
            actions->addWidget(command);
            auto* copy = linkButton(QStringLiteral("Copy Path"), QStringLiteral("doc.on.doc"), body);
            copy->setText(QStringLiteral("Copy Removal Command"));
            copy->setObjectName(QStringLiteral("copyRemoval"));
            connect(copy, &QToolButton::clicked, this, [this] { model_.desktop().copyText(*app_.removalCommand); });
            actions->addWidget(copy);
        }
    } else {
        auto* trash = linkButton(QStringLiteral("Move App to Trash\u2026"), QStringLiteral("trash"), body);
        trash->setObjectName(QStringLiteral("trash"));
        // The panel is rebuilt on every process sample; the file-system checks run once per application.
        if (!trashVerdict_ || trashVerdict_->first != app_.path)
            trashVerdict_.emplace(app_.path,
                                  SecurityUtils::evaluate(app_.path, home, SecurityUtils::appOwnedPaths(), true).isProtected());
        trash->setEnabled(!trashVerdict_->second && !app_.isSystemApp && usage.processCount <= 0);
        connect(trash, &QToolButton::clicked, this, [this, bundleSize] {
            model_.requestTrash({TrashCandidate{app_.path, Paths::lastComponent(app_.path),
                                                bundleSize ? std::optional<std::int64_t>(bundleSize->allocatedSize)
                                                           : std::nullopt,
                                                true, std::nullopt}});
        });
        actions->addWidget(trash);
    }
    if (app_.isSystemApp) {
        auto* protectedNote = new QLabel(QStringLiteral("Protected by macOS"), body);
        applyTextStyle(protectedNote, TextStyle::caption);
        applyTextColor(protectedNote, textColor(TextEmphasis::secondary));
        actions->addWidget(protectedNote);
    }
    layout->addLayout(actions);
    layout->addStretch(1);

    // The previous body may hold the button whose click is still running.
    if (QWidget* previous = takeWidget())
        previous->deleteLater();
    setWidget(body);
    if (verticalScrollBar())
        verticalScrollBar()->setValue(scrolled);
}
