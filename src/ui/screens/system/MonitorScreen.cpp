#include "ui/screens/system/MonitorScreen.h"

#include "app/ApplicationsStore.h"
#include "ui/screens/system/ProcessIcon.h"

#include "app/SystemMonitorStore.h"
#include "ui/components/ScreenParts.h"
#include "ui/components/TextStyle.h"

#include <QLabel>
#include <QProgressBar>
#include <QScrollArea>
#include <QStackedWidget>
#include <QTimer>
#include <QVBoxLayout>

MonitorScreen::MonitorScreen(SystemMonitorStore& monitor, const ApplicationsStore* apps, const QString& title,
                             const QString& waitingText, QWidget* parent)
    : QWidget(parent)
    , monitor_(monitor)
    , apps_(apps)
{
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    setWindowTitle(title);
    auto* scroll = new QScrollArea(this);
    outer->addWidget(scroll);
    QVBoxLayout* column = makeScrollPage(scroll);
    column->addWidget(makeScreenTitle(title));

    pages_ = new QStackedWidget;
    column->addWidget(pages_, 1);

    placeholder_ = new QWidget;
    placeholder_->setMinimumHeight(200);
    auto* waiting = new QVBoxLayout(placeholder_);
    waiting->setContentsMargins(0, 0, 0, 0);
    waiting->addStretch();
    auto* spinner = new QProgressBar(placeholder_);
    spinner->setRange(0, 0);
    spinner->setTextVisible(false);
    spinner->setMaximumWidth(200);
    waiting->addWidget(spinner, 0, Qt::AlignHCenter);
    auto* label = new QLabel(waitingText, placeholder_);
    label->setObjectName(QStringLiteral("waitingText"));
    waiting->addWidget(label, 0, Qt::AlignHCenter);
    waiting->addStretch();
    pages_->addWidget(placeholder_);

    contentPage_ = new QWidget;
    auto* content = new QVBoxLayout(contentPage_);
    content->setContentsMargins(0, 0, 0, 0);
    content->setSpacing(16);
    sections_ = new QVBoxLayout;
    sections_->setSpacing(16);
    content->addLayout(sections_);
    content->addStretch(1);
    pages_->addWidget(contentPage_);

    // One pass raises several signals; redraw once for all of them.
    for (auto signal : {&SystemMonitorStore::cpuChanged, &SystemMonitorStore::memoryChanged,
                        &SystemMonitorStore::processesChanged})
        connect(&monitor, signal, this, [this] {
            if (refreshPending_) return;
            refreshPending_ = true;
            QTimer::singleShot(0, this, [this] {
                refreshPending_ = false;
                refresh();
            });
        });
}

MonitorScreen::~MonitorScreen()
{
    unsubscribe();
}

bool MonitorScreen::showsPlaceholder() const
{
    return pages_->currentWidget() == placeholder_;
}

void MonitorScreen::showPlaceholder(bool waiting)
{
    pages_->setCurrentWidget(waiting ? placeholder_ : contentPage_);
}

void MonitorScreen::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (subscribed_) return;
    subscribed_ = true;
    monitor_.subscribe(true);
    // A first sample right away rather than after a whole interval.
    monitor_.tick();
}

void MonitorScreen::hideEvent(QHideEvent* event)
{
    QWidget::hideEvent(event);
    unsubscribe();
}

void MonitorScreen::unsubscribe()
{
    if (!subscribed_) return;
    subscribed_ = false;
    monitor_.unsubscribe(true);
}

QIcon MonitorScreen::processIcon(const ProcessSnapshot& process) const
{
    static const std::vector<ApplicationInfo> none;
    return ProcessIcon::of(process, apps_ ? apps_->apps() : none);
}
