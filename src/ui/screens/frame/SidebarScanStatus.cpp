#include "ui/screens/frame/SidebarScanStatus.h"

#include "app/AppModel.h"
#include "app/ScanCoordinator.h"
#include "ui/components/BusyIndicator.h"
#include "ui/components/RelativeDateText.h"
#include "ui/components/SymbolIcons.h"
#include "ui/components/TextStyle.h"

#include <QDateTime>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

SidebarScanStatus::SidebarScanStatus(AppModel& model, QWidget* parent) : QWidget(parent), model_(model)
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(3);

    activeRow_ = new QWidget(this);
    auto* activeLayout = new QVBoxLayout(activeRow_);
    activeLayout->setContentsMargins(0, 0, 0, 0);
    activeLayout->setSpacing(3);
    auto* row = new QHBoxLayout();
    phaseLabel_ = new QLabel(activeRow_);
    phaseLabel_->setObjectName(QStringLiteral("phaseLabel"));
    applyTextStyle(phaseLabel_, TextStyle::caption, QFont::DemiBold);
    countLabel_ = new QLabel(activeRow_);
    countLabel_->setObjectName(QStringLiteral("countLabel"));
    // The desktop's sans fonts draw digits of equal width, so the count does not jitter.
    applyTextStyle(countLabel_, TextStyle::caption);
    applyTextColor(countLabel_, textColor(TextEmphasis::secondary));
    row->addWidget(phaseLabel_);
    row->addStretch(1);
    row->addWidget(countLabel_);
    activeLayout->addLayout(row);
    bar_ = new BusyIndicator(activeRow_);
    bar_->setFixedHeight(6);
    activeLayout->addWidget(bar_);
    layout->addWidget(activeRow_);

    // "47 seconds ago" would otherwise stand for hours while nothing else changes.
    auto* clock = new QTimer(this);
    clock->setInterval(clockInterval);
    connect(clock, &QTimer::timeout, this, [this] {
        if (lastScanLabel_->isVisibleTo(this)) refresh();
    });
    clock->start();

    lastScanLabel_ = new QLabel(this);
    lastScanLabel_->setObjectName(QStringLiteral("lastScanLabel"));
    applyTextStyle(lastScanLabel_, TextStyle::caption);
    applyTextColor(lastScanLabel_, textColor(TextEmphasis::secondary));
    layout->addWidget(lastScanLabel_);

    incompleteLabel_ = new QLabel(QStringLiteral("Incomplete — resume available"), this);
    incompleteLabel_->setObjectName(QStringLiteral("incompleteLabel"));
    applyTextStyle(incompleteLabel_, TextStyle::caption2);
    applyTextColor(incompleteLabel_, NamedColor::orange);
    layout->addWidget(incompleteLabel_);

    notScannedLabel_ = new QLabel(QStringLiteral("Not scanned yet"), this);
    notScannedLabel_->setObjectName(QStringLiteral("notScannedLabel"));
    applyTextStyle(notScannedLabel_, TextStyle::caption);
    applyTextColor(notScannedLabel_, textColor(TextEmphasis::secondary));
    layout->addWidget(notScannedLabel_);

    offlineButton_ = new QToolButton(this);
    offlineButton_->setObjectName(QStringLiteral("offlineButton"));
    offlineButton_->setText(QStringLiteral("Offline · Data stays local"));
    offlineButton_->setIcon(SymbolIcons::icon("lock.shield.fill", NamedColor::green));
    offlineButton_->setIconSize(QSize(12, 12));
    offlineButton_->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    offlineButton_->setAutoRaise(true);
    offlineButton_->setCursor(Qt::PointingHandCursor);
    applyTextStyle(offlineButton_, TextStyle::caption2);
    applyTextColor(offlineButton_, NamedColor::green);
    offlineButton_->setToolTip(
        QStringLiteral("Kestrelmoor works offline. Your files and file information never leave this computer."));
    layout->addWidget(offlineButton_);
    connect(offlineButton_, &QToolButton::clicked, this, [this] { model_.setSelection(SidebarItem::privacy); });

    ScanCoordinator& scan = model_.scan();
    connect(&scan, &ScanCoordinator::progressChanged, this, &SidebarScanStatus::refresh);
    connect(&scan, &ScanCoordinator::summaryChanged, this, &SidebarScanStatus::refresh);
    connect(&scan, &ScanCoordinator::isLoadedChanged, this, &SidebarScanStatus::refresh);
    refresh();
}

void SidebarScanStatus::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::LocaleChange)
        refresh();
}

void SidebarScanStatus::refresh()
{
    const ScanCoordinator& scan = model_.scan();
    const ScanProgress& progress = scan.progress();
    const auto& lastScan = scan.summary().lastScan;
    const bool active = ScanCoordinator::isActive(progress.phase);
    const bool finished = !active && lastScan && lastScan->finished.has_value();

    activeRow_->setVisible(active);
    lastScanLabel_->setVisible(finished);
    incompleteLabel_->setVisible(finished && lastScan->status == ScanRecord::Status::cancelled);
    // Until the cache has been read, no scan is not yet known to be missing.
    notScannedLabel_->setVisible(!active && !finished && scan.isLoaded());

    if (active) {
        using K = ScanPhase::Kind;
        const K kind = progress.phase.kind();
        phaseLabel_->setText(kind == K::finalizing ? QStringLiteral("Finishing…")
                             : kind == K::paused   ? QStringLiteral("Paused")
                                                   : QStringLiteral("Scanning…"));
        countLabel_->setText(locale().toString(static_cast<qlonglong>(progress.filesScanned)));
    }
    if (finished) {
        const double now = static_cast<double>(QDateTime::currentMSecsSinceEpoch()) / 1000.0;
        lastScanLabel_->setText(QStringLiteral("Last scan: ") + relativeDateText(*lastScan->finished, now));
    }
}
