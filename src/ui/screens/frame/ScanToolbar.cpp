#include "ui/screens/frame/ScanToolbar.h"

#include "app/AppModel.h"
#include "app/ScanCoordinator.h"
#include "ui/components/CommonText.h"
#include "ui/screens/frame/KestrelmoorCommands.h"
#include "ui/components/ScreenParts.h"

#include <QHBoxLayout>
#include <QProgressBar>
#include <QToolButton>

QString ScanToolbar::scanHelpText()
{
    // The shortcut as this desktop writes it ("Ctrl+R"), never another system's glyphs.
    return QStringLiteral("Scan your computer (%1). Only changes since the last scan are written.")
        .arg(KestrelmoorCommands::scanShortcut().toString(QKeySequence::NativeText));
}

ScanToolbar::ScanToolbar(AppModel& model, QWidget* parent) : QWidget(parent), model_(model)
{
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(4);

    busy_ = new BusyIndicator(this);
    busy_->setObjectName(QStringLiteral("scanBusyIndicator"));
    busy_->setFixedSize(48, 8);
    layout->addWidget(busy_);

    pauseButton_ = toolbarButton(QStringLiteral("Pause"), "pause.fill", this, QStringLiteral("Pause scanning"));
    pauseButton_->setObjectName(QStringLiteral("pauseButton"));
    cancelButton_ = toolbarButton(QStringLiteral("Cancel"), "xmark.circle", this,
                                  QStringLiteral("Stop scanning. Results so far are kept and the scan can be resumed."));
    cancelButton_->setObjectName(QStringLiteral("cancelButton"));
    resumeButton_ = toolbarButton(QStringLiteral("Resume Scan"), "arrow.clockwise.circle", this,
                                  QStringLiteral("Continue the previous, unfinished scan"));
    resumeButton_->setObjectName(QStringLiteral("resumeButton"));
    scanButton_ = toolbarButton(CommonText::scanAction(), "arrow.triangle.2.circlepath", this, scanHelpText());
    scanButton_->setObjectName(QStringLiteral("scanButton"));
    for (QToolButton* button : {pauseButton_, cancelButton_, resumeButton_, scanButton_})
        layout->addWidget(button);

    ScanCoordinator& scan = model_.scan();
    connect(pauseButton_, &QToolButton::clicked, &scan, &ScanCoordinator::pauseOrContinue);
    connect(cancelButton_, &QToolButton::clicked, &scan, &ScanCoordinator::cancel);
    connect(resumeButton_, &QToolButton::clicked, this, [&scan] { scan.startScan(true); });
    connect(scanButton_, &QToolButton::clicked, this, [&scan] { scan.startScan(false); });
    connect(&scan, &ScanCoordinator::progressChanged, this, &ScanToolbar::refresh);
    connect(&scan, &ScanCoordinator::resumableScanIDChanged, this, &ScanToolbar::refresh);
    refresh();
}

void ScanToolbar::refresh()
{
    const ScanCoordinator& scan = model_.scan();
    const bool active = ScanCoordinator::isActive(scan.progress().phase);
    const bool paused = scan.progress().phase.kind() == ScanPhase::Kind::paused;

    busy_->setVisible(active);
    pauseButton_->setVisible(active);
    cancelButton_->setVisible(active);
    resumeButton_->setVisible(!active && scan.resumableScanID().has_value());
    scanButton_->setVisible(!active);
    scanButton_->setEnabled(model_.database() != nullptr);

    pauseButton_->setText(paused ? QStringLiteral("Continue") : QStringLiteral("Pause"));
    pauseButton_->setIcon(SymbolIcons::icon(paused ? "play.fill" : "pause.fill"));
    pauseButton_->setToolTip(paused ? QStringLiteral("Continue scanning") : QStringLiteral("Pause scanning"));
}
