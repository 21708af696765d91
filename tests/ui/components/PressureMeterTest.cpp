#include "ui/components/PressureMeter.h"
#include "ui/components/TextStyle.h"

#include "ui/support/UiTestSupport.h"

#include <QHBoxLayout>
#include <QImage>
#include <QVBoxLayout>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

namespace {

// Some pixel right of the segments, where the label is drawn, has the tint itself.
bool labelShowsTint(const QImage& meter, const QColor& tint)
{
    const int labelLeft = static_cast<int>(PressureMeter::segmentRect(PressureMeter::segmentCount - 1).right())
                          + PressureMeter::labelSpacing;
    for (int y = 0; y < meter.height(); ++y)
        for (int x = labelLeft; x < meter.width(); ++x)
            if (meter.pixelColor(x, y).rgb() == tint.rgb()) return true;
    return false;
}

} // namespace

TEST(PressureMeter, LightsTheSegmentsStrictlyBelowTheFraction)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    struct Case {
        double fraction;
        int lit;
    };
    const Case cases[] = {
        {0, 0},     {-0.3, 0},  {nan, 0},   {-inf, 0},   {1e-9, 1}, {0.05, 1},  {0.051, 2},
        {0.1, 2},   {0.5, 10},  {0.501, 11}, {0.95, 19}, {0.951, 20}, {1, 20},  {1.5, 20},
        {inf, 20},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fraction);
        EXPECT_EQ(PressureMeter::litCount(c.fraction), c.lit);
        // Lit segments are always the first ones, never a gap in the row.
        for (int index = 0; index < PressureMeter::segmentCount; ++index)
            EXPECT_EQ(PressureMeter::isLit(index, c.fraction), index < c.lit) << index;
    }
}

TEST(PressureMeter, SegmentsSitSideBySide)
{
    struct Case {
        int index;
        QRectF rect;
    };
    const Case cases[] = {{0, {0, 0, 10, 16}}, {1, {12, 0, 10, 16}}, {19, {228, 0, 10, 16}}};
    for (const Case& c : cases)
        EXPECT_EQ(PressureMeter::segmentRect(c.index), c.rect) << c.index;
}

TEST(PressureMeter, LitSegmentsAndLabelShareTheTint)
{
    ensureApplication();
    QWidget window;
    window.setAutoFillBackground(true);
    auto* meter = new PressureMeter(0.5, "Critical", NamedColor::red, &window);
    meter->move(0, 0);
    meter->resize(meter->sizeHint());
    window.resize(meter->sizeHint());
    EXPECT_EQ(meter->accessibleName(), "Memory pressure Critical");

    const QImage image = meter->grab().toImage();
    const int middle = meter->height() / 2;
    auto segmentCentre = [&](int index) {
        const QRectF rect = PressureMeter::segmentRect(index);
        return image.pixelColor(static_cast<int>(rect.center().x()), middle).rgb();
    };
    EXPECT_EQ(segmentCentre(0), NamedColor::red.rgb());
    EXPECT_EQ(segmentCentre(9), NamedColor::red.rgb());
    EXPECT_NE(segmentCentre(10), NamedColor::red.rgb());
    EXPECT_NE(segmentCentre(19), NamedColor::red.rgb());
    // The gap between two lit segments stays background.
    EXPECT_NE(image.pixelColor(11, middle).rgb(), NamedColor::red.rgb());

    EXPECT_TRUE(labelShowsTint(image, NamedColor::red));

    meter->setReading(0.1, "Normal", NamedColor::green);
    EXPECT_EQ(meter->accessibleName(), "Memory pressure Normal");
    EXPECT_EQ(meter->label(), "Normal");
}

TEST(PressureMeter, EveryLevelInAColumnShowsItsShareAndItsWholeLabel)
{
    ensureApplication();
    QWidget window;
    auto* column = new QVBoxLayout(&window);
    struct Level {
        double fraction;
        const char* label;
        QColor tint;
    };
    const Level levels[] = {
        {0.18, "Normal", NamedColor::green},     {0.55, "Moderate", NamedColor::yellow},
        {0.93, "Critical", NamedColor::red},     {0.0, "Normal", NamedColor::green},
        {std::nan(""), "Unknown", NamedColor::gray}, {1.0, "Critical", NamedColor::red},
    };
    std::vector<PressureMeter*> meters;
    for (const Level& level : levels) {
        meters.push_back(new PressureMeter(level.fraction, level.label, level.tint));
        column->addWidget(meters.back());
    }
    window.show();
    QCoreApplication::processEvents();

    for (std::size_t i = 0; i < meters.size(); ++i) {
        const Level& level = levels[i];
        PressureMeter& meter = *meters[i];
        SCOPED_TRACE(testing::Message() << level.label << " at " << level.fraction);
        // Laid out at its full size: nothing of the label is cut.
        EXPECT_EQ(meter.size(), meter.sizeHint());
        const QImage image = meter.grab().toImage();
        int lit = 0;
        for (int index = 0; index < PressureMeter::segmentCount; ++index) {
            const QPointF centre = PressureMeter::segmentRect(index).center();
            lit += image.pixelColor(static_cast<int>(centre.x()), meter.height() / 2).rgb() == level.tint.rgb() ? 1 : 0;
        }
        EXPECT_EQ(lit, PressureMeter::litCount(level.fraction));
        EXPECT_TRUE(labelShowsTint(image, level.tint));
        if (i > 0) {
            EXPECT_GE(meter.y(), meters[i - 1]->geometry().bottom());
        }
    }
    saveScreenshot(window, QStringLiteral("pressure-meter"));
}
