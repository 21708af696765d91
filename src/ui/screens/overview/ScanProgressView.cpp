#include "ui/screens/overview/ScanProgressView.h"

#include "analysis/ByteFormatter.h"
#include "analysis/HomeAbbreviation.h"
#include "app/AppModel.h"
#include "app/QtText.h"
#include "app/ScanCoordinator.h"
#include "ui/components/BusyIndicator.h"
#include "ui/components/ElidedLabel.h"
#include "ui/components/LocaleText.h"
#include "ui/components/TextStyle.h"
#include "ui/components/AdaptiveGrid.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace {

using Kind = ScanPhase::Kind;

const char* const cellTitles[] = {"Files scanned", "Folders scanned", "Storage analyzed", "Elapsed",
                                  "New",           "Changed",         "Removed",          "Access restricted"};

} // namespace

ScanProgressView::ScanProgressView(AppModel& model, QWidget* parent)
    : SectionCard(title(model.scan().progress()), QStringLiteral("magnifyingglass"), new QWidget, new QWidget, parent),
      model_(model)
{
    auto* buttons = new QHBoxLayout(accessory());
    buttons->setContentsMargins(0, 0, 0, 0);
    buttons->setSpacing(12);
    pause_ = new QPushButton(QStringLiteral("Pause"));
    pause_->setObjectName(QStringLiteral("pauseButton"));
    cancel_ = new QPushButton(QStringLiteral("Cancel"));
    cancel_->setObjectName(QStringLiteral("cancelButton"));
    resume_ = new QPushButton(QStringLiteral("Resume"));
    resume_->setObjectName(QStringLiteral("resumeButton"));
    for (QPushButton* button : {pause_, cancel_, resume_}) {
        button->setAutoDefault(false);
        buttons->addWidget(button);
    }
    connect(pause_, &QPushButton::clicked, this, &ScanProgressView::pauseOrContinue);
    connect(cancel_, &QPushButton::clicked, this, [this] { model_.scan().cancel(); });
    connect(resume_, &QPushButton::clicked, this, [this] { model_.scan().startScan(true); });

    auto* column = new QVBoxLayout(content());
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(10);
    bar_ = new BusyIndicator;
    bar_->setMaximumHeight(8);
    column->addWidget(bar_);

    auto* grid = new AdaptiveGrid(110, 12, 8);
    for (const char* cellTitle : cellTitles) {
        auto* cell = new QWidget;
        auto* stack = new QVBoxLayout(cell);
        stack->setContentsMargins(0, 0, 0, 0);
        stack->setSpacing(1);
        auto* label = new QLabel(QString::fromUtf8(cellTitle));
        applyTextStyle(label, TextStyle::caption);
        applyTextColor(label, textColor(TextEmphasis::secondary));
        auto* value = new QLabel;
        applyTextStyle(value, TextStyle::headline, QFont::DemiBold);
        stack->addWidget(label);
        stack->addWidget(value);
        values_.push_back(value);
        grid->addCell(cell);
    }
    column->addWidget(grid);

    location_ = new QWidget;
    location_->setObjectName(QStringLiteral("currentLocation"));
    auto* locationStack = new QVBoxLayout(location_);
    locationStack->setContentsMargins(0, 0, 0, 0);
    locationStack->setSpacing(2);
    auto* locationTitle = new QLabel(QStringLiteral("Current location:"));
    applyTextStyle(locationTitle, TextStyle::caption);
    applyTextColor(locationTitle, textColor(TextEmphasis::secondary));
    path_ = new ElidedLabel(QString(), Qt::ElideMiddle);
    path_->setObjectName(QStringLiteral("currentPath"));
    path_->setFont(monospacedFont(TextStyle::caption));
    locationStack->addWidget(locationTitle);
    locationStack->addWidget(path_);
    column->addWidget(location_);

    stoppedNote_ = new QLabel(
        QStringLiteral("The scan was stopped. Results so far are saved; Resume continues where it left off."));
    stoppedNote_->setObjectName(QStringLiteral("stoppedNote"));
    stoppedNote_->setWordWrap(true);
    applyTextStyle(stoppedNote_, TextStyle::caption);
    applyTextColor(stoppedNote_, textColor(TextEmphasis::secondary));
    column->addWidget(stoppedNote_);

    ScanCoordinator& scan = model_.scan();
    connect(&scan, &ScanCoordinator::progressChanged, this, &ScanProgressView::refresh);
    connect(&scan, &ScanCoordinator::resumableScanIDChanged, this, &ScanProgressView::refresh);
    refresh();
}

QString ScanProgressView::title(const ScanProgress& progress)
{
    switch (progress.phase.kind()) {
    case Kind::preparing: return QStringLiteral("Preparing scan…");
    case Kind::scanning: return progress.isResumed ? QStringLiteral("Resuming scan…") : QStringLiteral("Scanning…");
    case Kind::paused: return QStringLiteral("Scan paused");
    case Kind::finalizing: return QStringLiteral("Calculating folder totals…");
    case Kind::cancelled: return QStringLiteral("Scan stopped");
    case Kind::idle:
    case Kind::completed:
    case Kind::failed: break;
    }
    return QStringLiteral("Scan");
}

double ScanProgressView::elapsedSeconds(const ScanProgress& progress)
{
    // The scanner's running time: it stands still while paused and goes on without a jump.
    return std::isfinite(progress.elapsedSeconds) ? std::max(0.0, progress.elapsedSeconds) : 0.0;
}

QString ScanProgressView::elapsedText(double seconds)
{
    const auto whole = static_cast<long long>(std::isfinite(seconds) ? std::max(0.0, std::floor(seconds)) : 0);
    return QStringLiteral("%1:%2").arg(whole / 60).arg(whole % 60, 2, 10, QLatin1Char('0'));
}

std::vector<QString> ScanProgressView::values() const
{
    std::vector<QString> texts;
    for (const QLabel* value : values_)
        texts.push_back(value->text());
    return texts;
}

void ScanProgressView::pauseOrContinue()
{
    ScanCoordinator& scan = model_.scan();
    if (scan.progress().phase.kind() == Kind::paused)
        scan.resume();
    else
        scan.pause();
}

void ScanProgressView::refresh()
{
    const ScanCoordinator& scan = model_.scan();
    const ScanProgress& progress = scan.progress();
    const Kind kind = progress.phase.kind();
    const bool active = ScanCoordinator::isActive(progress.phase);
    const bool stopped = kind == Kind::cancelled;

    if (auto* heading = findChild<QWidget*>(QStringLiteral("cardTitle")))
        if (auto* label = heading->findChild<QLabel*>(QStringLiteral("title")))
            label->setText(title(progress));
    pause_->setText(kind == Kind::paused ? QStringLiteral("Continue") : QStringLiteral("Pause"));
    pause_->setVisible(!stopped);
    cancel_->setVisible(!stopped);
    resume_->setVisible(stopped);
    resume_->setEnabled(scan.resumableScanID().has_value());
    bar_->setVisible(active);

    const QString texts[] = {
        LocaleText::integer(progress.filesScanned),
        LocaleText::integer(progress.foldersScanned),
        qstr(ByteFormatter::string(progress.bytesAnalyzed)),
        elapsedText(elapsedSeconds(progress)),
        LocaleText::integer(progress.newFiles),
        LocaleText::integer(progress.changedFiles),
        LocaleText::integer(progress.deletedFiles),
        LocaleText::integer(progress.restrictedFolders),
    };
    for (std::size_t index = 0; index < values_.size(); ++index)
        values_[index]->setText(texts[index]);

    location_->setVisible(active && !progress.currentPath.empty());
    path_->setText(qstr(abbreviatingHome(progress.currentPath)));
    stoppedNote_->setVisible(stopped);
}
