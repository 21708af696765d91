#include "ui/components/BusyIndicator.h"

#include "ui/support/UiTestSupport.h"

#include <QImage>
#include <QVBoxLayout>
#include <QWidget>

#include <gtest/gtest.h>

#include <limits>

using Span = BusyIndicator::Span;

TEST(BusyIndicator, TheSweepEntersAtTheLeftAndLeavesAtTheRightClippedToTheTrack)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    struct Case {
        int track;
        double phase;
        Span span;
    };
    const Case cases[] = {
        {60, 0.0, {0, 0}},    {60, 0.1, {0, 8}},    {60, 0.25, {0, 20}},  {60, 0.5, {20, 20}},
        {60, 0.75, {40, 20}}, {60, 0.9, {52, 8}},   {60, 1.0, {60, 0}},   {60, -0.5, {0, 0}},
        {60, 3.0, {60, 0}},   {60, nan, {0, 0}},    {0, 0.5, {0, 0}},     {-5, 0.5, {0, 0}},
        // A narrow track still shows a segment of a few pixels.
        {6, 0.5, {1, 4}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.track << " at " << c.phase);
        const Span span = BusyIndicator::slidingSpan(c.track, c.phase);
        EXPECT_EQ(span.left, c.span.left);
        EXPECT_EQ(span.width, c.span.width);
        EXPECT_GE(span.left, 0);
        EXPECT_LE(span.left + span.width, std::max(0, c.track));
    }
}

TEST(BusyIndicator, ARangeFillsInProportionAndAnEmptyOneFillsNothing)
{
    struct Case {
        int track, minimum, maximum, value;
        Span span;
    };
    const Case cases[] = {
        {100, 0, 4, 2, {0, 50}}, {100, 0, 4, 0, {0, 0}},  {100, 0, 4, 4, {0, 100}}, {100, 0, 4, 9, {0, 100}},
        {100, 0, 4, -3, {0, 0}}, {100, 10, 20, 15, {0, 50}}, {100, 0, 0, 0, {0, 0}}, {100, 5, 2, 3, {0, 0}},
        {0, 0, 4, 2, {0, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.minimum << ".." << c.maximum << " at " << c.value);
        EXPECT_EQ(BusyIndicator::filledSpan(c.track, c.minimum, c.maximum, c.value), c.span);
    }
}

TEST(BusyIndicator, AnimatesOnlyWhileShownIndeterminateAndEnabled)
{
    ensureApplication();
    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    auto* busy = new BusyIndicator;
    busy->setFixedSize(60, 8);
    layout->addWidget(busy);
    EXPECT_FALSE(busy->isAnimating());   // not shown yet

    window.show();
    EXPECT_TRUE(busy->isAnimating());
    busy->hide();
    EXPECT_FALSE(busy->isAnimating());
    busy->show();
    EXPECT_TRUE(busy->isAnimating());
    window.setEnabled(false);
    EXPECT_FALSE(busy->isAnimating());
    window.setEnabled(true);
    EXPECT_TRUE(busy->isAnimating());

    // Given a range it is a plain bar, drawn once per change; back to none, it sweeps again.
    busy->setRange(0, 4);
    busy->setValue(2);
    const QImage half = busy->grab().toImage();
    EXPECT_FALSE(busy->isAnimating());
    const QColor highlight = busy->palette().color(QPalette::Active, QPalette::Highlight);
    EXPECT_EQ(half.pixelColor(5, 4).rgb(), highlight.rgb());
    EXPECT_NE(half.pixelColor(55, 4).rgb(), highlight.rgb());
    busy->setRange(0, 0);
    busy->grab();
    EXPECT_TRUE(busy->isAnimating());
    saveScreenshot(window, QStringLiteral("busy-indicator"));
}
