#include "ui/support/UiTestSupport.h"

#include "app/system/SidebarItem.h"
#include "index/StorageCategory.h"
#include "ui/components/SymbolIcons.h"

#include <gtest/gtest.h>

#include <QImage>

namespace {

// True when some pixel is drawn, and drawn in (roughly) the asked colour.
bool drawnIn(const QPixmap& pixmap, const QColor& tint)
{
    const QImage image = pixmap.toImage().convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (c.alpha() == 255 && std::abs(c.red() - tint.red()) < 8 && std::abs(c.green() - tint.green()) < 8 &&
                std::abs(c.blue() - tint.blue()) < 8)
                return true;
        }
    return false;
}

TEST(SymbolIcons, EveryShippedGlyphDrawsInItsTint)
{
    ensureApplication();
    const QStringList names = SymbolIcons::names();
    EXPECT_GE(names.size(), 100);
    const QColor tint(200, 30, 90);
    for (const QString& name : names) {
        const QPixmap pm = SymbolIcons::pixmap(name.toStdString(), 32, tint);
        ASSERT_FALSE(pm.isNull()) << name.toStdString();
        EXPECT_TRUE(drawnIn(pm, tint)) << name.toStdString();
    }
    EXPECT_TRUE(SymbolIcons::pixmap("no.such.symbol", 32, tint).isNull());
    EXPECT_TRUE(SymbolIcons::icon("no.such.symbol").isNull());
    EXPECT_FALSE(SymbolIcons::applicationIcon().pixmap(64, 64).isNull());
}

// Kept pictures are told apart by everything that changes them.
TEST(SymbolIcons, KeptPicturesAnswerOnlyTheSameRequest)
{
    ensureApplication();
    const QColor red(220, 20, 20);
    const QColor blue(20, 20, 220);
    const QPixmap first = SymbolIcons::pixmap("folder", 16, red);
    EXPECT_TRUE(drawnIn(first, red));
    EXPECT_TRUE(drawnIn(SymbolIcons::pixmap("folder", 16, blue), blue));
    EXPECT_FALSE(drawnIn(SymbolIcons::pixmap("folder", 16, blue), red));
    EXPECT_EQ(SymbolIcons::pixmap("folder", 24, red).width(), 24);
    const QPixmap sharp = SymbolIcons::pixmap("folder", 16, red, 2.0);
    EXPECT_EQ(sharp.width(), 32);
    EXPECT_DOUBLE_EQ(sharp.devicePixelRatio(), 2.0);
    EXPECT_DOUBLE_EQ(SymbolIcons::pixmap("folder", 16, red).devicePixelRatio(), 1.0);
    // A translucent tint is drawn fainter, never taken for the opaque one.
    QColor faint = red;
    faint.setAlphaF(0.5);
    EXPECT_FALSE(drawnIn(SymbolIcons::pixmap("folder", 16, faint), red));
    EXPECT_NE(SymbolIcons::pixmap("doc", 16, red).toImage(), first.toImage());
}

TEST(SymbolIcons, EveryNamedSymbolOfTheProgramHasAGlyph)
{
    ensureApplication();
    std::vector<std::string> wanted;
    for (SidebarItem item : allSidebarItems())
        wanted.emplace_back(symbolName(item));
    for (StorageCategory category : allStorageCategories())
        wanted.emplace_back(symbolName(category));
    // Named by the window's toolbar, footer, sheets and the screens still to come.
    const char* others[] = {
        "arrow.triangle.2.circlepath", "arrow.clockwise.circle", "pause.fill", "play.fill", "xmark.circle",
        "lock.shield.fill", "trash", "exclamationmark.triangle.fill", "wifi.slash", "eye.slash", "trash.slash",
        "arrow.clockwise", "link", "eye", "lock", "doc", "terminal", "macwindow", "person", "info.circle.fill",
        "xmark", "app", "hammer", "cube.box", "apps.iphone", "shippingbox", "arrow.triangle.branch",
        "wrench.and.screwdriver", "mug", "globe", "photo", "gearshape.2", "building.columns", "person.2",
    };
    wanted.insert(wanted.end(), std::begin(others), std::end(others));
    for (const std::string& name : wanted)
        EXPECT_TRUE(SymbolIcons::contains(name)) << name;
}

} // namespace
