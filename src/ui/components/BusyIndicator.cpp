#include "ui/components/BusyIndicator.h"

#include <QEvent>
#include <QPainter>
#include <QTimer>

#include <algorithm>
#include <cmath>

BusyIndicator::BusyIndicator(QWidget* parent) : QProgressBar(parent), frames_(new QTimer(this))
{
    setRange(0, 0);
    setTextVisible(false);
    frames_->setInterval(frameMilliseconds);
    connect(frames_, &QTimer::timeout, this, qOverload<>(&QWidget::update));
    clock_.start();
}

BusyIndicator::Span BusyIndicator::slidingSpan(int trackWidth, double phase)
{
    if (trackWidth <= 0 || !std::isfinite(phase))
        return {};
    phase = std::clamp(phase, 0.0, 1.0);
    const int width = std::max(4, trackWidth / 3);
    const int start = static_cast<int>(std::lround(-width + phase * (trackWidth + width)));
    const int left = std::clamp(start, 0, trackWidth);
    const int right = std::clamp(start + width, 0, trackWidth);
    return {left, right - left};
}

BusyIndicator::Span BusyIndicator::filledSpan(int trackWidth, int minimum, int maximum, int value)
{
    if (trackWidth <= 0 || maximum <= minimum)
        return {};
    const double fraction =
        (static_cast<double>(std::clamp(value, minimum, maximum)) - minimum) / (static_cast<double>(maximum) - minimum);
    return {0, static_cast<int>(std::lround(fraction * trackWidth))};
}

bool BusyIndicator::isAnimating() const { return frames_->isActive(); }

void BusyIndicator::updateAnimation()
{
    const bool animate = isIndeterminate() && isVisible() && isEnabled();
    if (animate && !frames_->isActive())
        frames_->start();
    else if (!animate && frames_->isActive())
        frames_->stop();
}

void BusyIndicator::showEvent(QShowEvent* event)
{
    QProgressBar::showEvent(event);
    updateAnimation();
    update();
}

void BusyIndicator::hideEvent(QHideEvent* event)
{
    QProgressBar::hideEvent(event);
    updateAnimation();
}

void BusyIndicator::changeEvent(QEvent* event)
{
    QProgressBar::changeEvent(event);
    if (event->type() == QEvent::EnabledChange) {
        updateAnimation();
        update();
    }
}

void BusyIndicator::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const QRect track = rect();
    QColor groove = palette().color(QPalette::WindowText);
    groove.setAlphaF(0.12f);
    painter.fillRect(track, groove);
    // A range set since the last frame turns the sweep into a fill, or back.
    updateAnimation();
    Span span;
    if (isIndeterminate()) {
        const double phase =
            static_cast<double>(clock_.elapsed() % sweepMilliseconds) / static_cast<double>(sweepMilliseconds);
        span = slidingSpan(track.width(), phase);
    } else {
        span = filledSpan(track.width(), minimum(), maximum(), value());
    }
    if (span.width > 0)
        painter.fillRect(QRect(track.left() + span.left, track.top(), span.width, track.height()),
                         palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::Highlight));
}
