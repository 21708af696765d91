#include "ui/components/MetricCard.h"
#include "ui/components/SectionCard.h"
#include "ui/components/TextStyle.h"
#include "ui/components/TintedLabelStyle.h"

#include "ui/support/UiTestSupport.h"

#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QVBoxLayout>

#include <QTextLayout>

#include <gtest/gtest.h>

#include <cmath>

#include <cstdlib>
#include <vector>

namespace {

enum class Gesture { click, doubleClick, dragOff };

void mouse(QWidget* target, QPoint at, Gesture gesture)
{
    auto send = [&](QEvent::Type type, QPoint where) {
        const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton;
        QMouseEvent event(type, QPointF(where), target->mapToGlobal(QPointF(where)), Qt::LeftButton, held,
                          Qt::NoModifier);
        QApplication::sendEvent(target, &event);
    };
    send(QEvent::MouseButtonPress, at);
    if (gesture == Gesture::dragOff) {
        send(QEvent::MouseButtonRelease, at + QPoint(target->window()->width() + 50, 0));
        return;
    }
    send(QEvent::MouseButtonRelease, at);
    if (gesture == Gesture::doubleClick) {
        send(QEvent::MouseButtonDblClick, at);
        send(QEvent::MouseButtonRelease, at);
    }
}

// A window of the given width with the widget laid out at the top, as a screen would.
struct Host {
    explicit Host(QWidget* widget, int width)
    {
        auto* column = new QVBoxLayout(&window);
        column->addWidget(widget);
        column->addStretch(1);
        window.resize(width, 400);
        window.show();
        QCoreApplication::processEvents();
    }
    QWidget window;
};

bool showsColour(const QPixmap& pixmap, const QColor& colour)
{
    const QImage image = pixmap.toImage().convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QColor pixel = image.pixelColor(x, y);
            if (pixel.alpha() > 200 && std::abs(pixel.red() - colour.red()) < 8
                && std::abs(pixel.green() - colour.green()) < 8 && std::abs(pixel.blue() - colour.blue()) < 8)
                return true;
        }
    return false;
}

} // namespace

TEST(MetricCard, OnlyACardWithAnActionRunsItOncePerClickAnywhereOnIt)
{
    ensureApplication();
    struct Case {
        const char* name;
        bool withAction;
        const char* target;   // "card" for the padding, or a child's object name
        bool farCorner;
        Gesture gesture;
        int runs;
    };
    const Case cases[] = {
        {"padding top left", true, "card", false, Gesture::click, 1},
        {"padding bottom right", true, "card", true, Gesture::click, 1},
        {"on the value", true, "value", false, Gesture::click, 1},
        {"on the caption", true, "caption", false, Gesture::click, 1},
        {"double-click", true, "card", false, Gesture::doubleClick, 1},
        {"released outside", true, "card", false, Gesture::dragOff, 0},
        {"no action, padding", false, "card", false, Gesture::click, 0},
        {"no action, value", false, "value", false, Gesture::doubleClick, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        int runs = 0;
        std::function<void()> action;
        if (c.withAction)
            action = [&runs] { ++runs; };
        auto* card = new MetricCard("Files", "1,204,331", QStringLiteral("in 84,112 folders"), "doc", NamedColor::blue,
                                    action);
        Host host(card, 260);
        EXPECT_EQ(card->hasAction(), c.withAction);
        EXPECT_EQ(card->toolTip(), c.withAction ? QStringLiteral("Show details") : QString());

        QWidget* target = card;
        if (QString::fromLatin1(c.target) != "card")
            target = card->findChild<QWidget*>(QString::fromLatin1(c.target));
        ASSERT_NE(target, nullptr);
        const QPoint at = target == card ? (c.farCorner ? QPoint(card->width() - 3, card->height() - 3) : QPoint(3, 3))
                                         : target->rect().center();
        mouse(target, at, c.gesture);
        EXPECT_EQ(runs, c.runs);
    }
}

TEST(MetricCard, SpaceRunsTheActionOfAFocusedCardOnly)
{
    ensureApplication();
    int runs = 0;
    MetricCard button("CPU", "23%", std::nullopt, "cpu", NamedColor::green, [&runs] { ++runs; });
    MetricCard tile("CPU", "23%", std::nullopt, "cpu", NamedColor::green);
    EXPECT_EQ(button.focusPolicy(), Qt::TabFocus);
    EXPECT_EQ(tile.focusPolicy(), Qt::NoFocus);
    for (MetricCard* card : {&button, &tile}) {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier, QStringLiteral(" "));
        QApplication::sendEvent(card, &press);
    }
    EXPECT_EQ(runs, 1);
}

TEST(MetricCard, StaysAtLeastItsMinimumHeightWithTheContentAtTheTop)
{
    ensureApplication();
    auto* bare = new MetricCard("Memory", "12.4 GB", std::nullopt, "memorychip", NamedColor::purple);
    auto* detailed = new MetricCard("Memory", "12.4 GB", QStringLiteral("of 16 GB installed"), "memorychip",
                                    NamedColor::purple);
    QWidget window;
    auto* grid = new QGridLayout(&window);
    grid->addWidget(bare, 0, 0);
    grid->addWidget(detailed, 0, 1);
    grid->setRowStretch(1, 1);
    window.resize(420, 300);
    window.show();
    QCoreApplication::processEvents();

    for (MetricCard* card : {bare, detailed}) {
        EXPECT_GE(card->height(), MetricCard::minimumCardHeight);
        EXPECT_EQ(card->findChild<QWidget*>("caption")->y(), MetricCard::padding);
    }
    EXPECT_TRUE(bare->findChild<QWidget*>("detail")->isHidden());
    EXPECT_EQ(bare->shownDetail(), QString());
    EXPECT_EQ(detailed->shownDetail(), "of 16 GB installed");
}

TEST(MetricCard, TextIsNeverCutAtTheBottom)
{
    ensureApplication();
    // Underscores sit lowest of all; at the caption's size the rounded font height leaves them out.
    for (const int width : {140, 150, 170, 200, 320}) {
        SCOPED_TRACE(width);
        auto* card = new MetricCard("Largest File", "707.0 MB", QStringLiteral("terraform-provider-aws_v5.100.0_x5"),
                                    "doc.badge.ellipsis", NamedColor::orange);
        QWidget window;
        auto* grid = new QGridLayout(&window);
        grid->addWidget(card, 0, 0);
        grid->setRowStretch(1, 1);
        window.resize(width, 300);
        window.show();
        QCoreApplication::processEvents();
        for (const char* part : {"value", "detail"}) {
            QWidget* shown = card->findChild<QWidget*>(part);
            const QString text = QString(part) == "value" ? card->shownValue() : card->shownDetail();
            QTextLayout layout(text, shown->font());
            QTextOption option;
            option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
            layout.setTextOption(option);
            layout.beginLayout();
            qreal bottom = 0;
            for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
                line.setLineWidth(shown->width());
                line.setPosition(QPointF(0, bottom));
                bottom += line.height();
            }
            layout.endLayout();
            EXPECT_GE(shown->height(), std::ceil(bottom)) << part;
            EXPECT_LE(shown->geometry().bottom(), card->height() - MetricCard::padding) << part;
        }
    }
}

// A screen sets new figures into the same card, the detail line coming and going.
TEST(MetricCard, NewFiguresGoIntoTheSameCard)
{
    ensureApplication();
    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    auto* card = new MetricCard("Swap Used", "0 bytes", std::nullopt, "arrow.left.arrow.right", NamedColor::gray);
    layout->addWidget(card);
    window.resize(220, 200);
    window.show();
    QCoreApplication::processEvents();
    const QWidget* detail = card->findChild<QWidget*>("detail");

    card->setValue("512.0 MB");
    card->setDetail(QStringLiteral("of 2.05 GB swap space"));
    QCoreApplication::processEvents();
    EXPECT_EQ(card->shownValue(), "512.0 MB");
    EXPECT_EQ(card->accessibleDescription(), "512.0 MB");
    EXPECT_EQ(card->shownDetail(), "of 2.05 GB swap space");
    EXPECT_TRUE(detail->isVisible());
    EXPECT_EQ(card->findChild<QWidget*>("detail"), detail);

    card->setDetail(std::nullopt);
    QCoreApplication::processEvents();
    EXPECT_EQ(card->shownDetail(), QString());
    EXPECT_FALSE(detail->isVisible());
}

TEST(MetricCard, ValueShrinksToSixTenthsBeforeItIsCut)
{
    struct Case {
        double natural;
        double available;
        double scale;
    };
    const Case cases[] = {
        {100, 200, 1.0}, {200, 200, 1.0}, {200, 150, 0.75}, {200, 120, 0.6},
        {200, 100, 0.6}, {0, 50, 1.0},    {200, 0, 0.6},    {200, -5, 0.6},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.natural << " in " << c.available);
        EXPECT_DOUBLE_EQ(MetricCard::valueScale(c.natural, c.available), c.scale);
    }

    ensureApplication();
    const QString value = QStringLiteral("1,234,567,890 files");
    auto* card = new MetricCard("Indexed", value, std::nullopt, "doc", NamedColor::blue);
    Host host(card, 600);
    EXPECT_EQ(card->shownValue(), value);
    EXPECT_DOUBLE_EQ(card->shownValueScale(), 1.0);

    const double natural = QFontMetricsF(textStyleFont(TextStyle::title2, QFont::DemiBold)).horizontalAdvance(value);
    const int chrome = 2 * MetricCard::padding + 2 * host.window.layout()->contentsMargins().left();
    host.window.resize(chrome + static_cast<int>(natural * 0.8), 400);
    QCoreApplication::processEvents();
    EXPECT_EQ(card->shownValue(), value);
    EXPECT_LT(card->shownValueScale(), 0.85);
    EXPECT_GE(card->shownValueScale(), 0.6);

    host.window.resize(chrome + static_cast<int>(natural * 0.4), 400);
    QCoreApplication::processEvents();
    EXPECT_DOUBLE_EQ(card->shownValueScale(), 0.6);
    EXPECT_TRUE(card->shownValue().endsWith(QChar(0x2026))) << card->shownValue().toStdString();
}

TEST(MetricCard, LongDetailWrapsToTwoLinesThenLosesItsMiddle)
{
    ensureApplication();
    const QFont font = textStyleFont(TextStyle::caption);
    const QString shortDetail = QStringLiteral("3 items");
    const QString longDetail = QStringLiteral(
        "~/Library/Developer/Xcode/DerivedData/Kestrelmoor-abcdefghijklmnop/Build/Intermediates.noindex/"
        "Kestrelmoor.build/Debug/Kestrelmoor.build/Objects-normal/arm64/ContentView.o");
    EXPECT_EQ(MetricCard::fittedDetail(shortDetail, font, 200), shortDetail);

    for (double width : {120.0, 200.0, 300.0}) {
        SCOPED_TRACE(width);
        const QString fitted = MetricCard::fittedDetail(longDetail, font, width);
        EXPECT_LT(fitted.size(), longDetail.size());
        ASSERT_EQ(fitted.count(QChar(0x2026)), 1);
        const auto halves = fitted.split(QChar(0x2026));
        EXPECT_TRUE(longDetail.startsWith(halves[0]));
        EXPECT_TRUE(longDetail.endsWith(halves[1]));
        EXPECT_GE(halves[0].size(), halves[1].size());
        EXPECT_GE(halves[0].size() + halves[1].size(), 20);
        // What is shown fits, and is not cut again.
        EXPECT_EQ(MetricCard::fittedDetail(fitted, font, width, 2), fitted);
        EXPECT_NE(MetricCard::fittedDetail(fitted, font, width, 1), fitted);
    }
    // A cut never leaves half of a character outside the basic plane behind.
    const QString emoji = QString(40, QChar('x')) + QString::fromUtf8("😀😀😀😀😀😀😀😀😀😀") + QString(40, QChar('y'));
    for (double width : {40.0, 60.0, 90.0}) {
        const QString fitted = MetricCard::fittedDetail(emoji, font, width);
        for (qsizetype i = 0; i < fitted.size(); ++i) {
            if (fitted[i].isHighSurrogate()) {
                EXPECT_TRUE(i + 1 < fitted.size() && fitted[i + 1].isLowSurrogate());
            }
            if (fitted[i].isLowSurrogate()) {
                EXPECT_TRUE(i > 0 && fitted[i - 1].isHighSurrogate());
            }
        }
    }
}

TEST(SectionCard, SpansItsContainerWithTheHeadingAndContentAtTheLeadingEdge)
{
    ensureApplication();
    auto* narrow = new QLabel("Narrow content");
    narrow->setFixedWidth(100);
    auto* plain = new SectionCard("Overview", QString(), narrow);
    auto* button = new QPushButton("Clean Up");
    auto* full = new SectionCard("Caches", "archivebox", new QLabel("2.3 GB in 1,204 files"), button);

    QWidget window;
    auto* column = new QVBoxLayout(&window);
    column->addWidget(plain);
    column->addWidget(full);
    column->addStretch(1);
    window.resize(400, 400);
    window.show();
    QCoreApplication::processEvents();

    const int inner = window.width() - column->contentsMargins().left() - column->contentsMargins().right();
    for (SectionCard* card : {plain, full}) {
        EXPECT_EQ(card->width(), inner);
        auto* title = card->findChild<QWidget*>("cardTitle");
        EXPECT_EQ(title->x(), SectionCard::padding);
        EXPECT_EQ(title->y(), SectionCard::padding);
        EXPECT_EQ(title->font(), textStyleFont(TextStyle::headline));
        EXPECT_EQ(card->content()->x(), SectionCard::padding);
        EXPECT_GE(card->content()->y(), title->y() + title->height() + SectionCard::spacing);
    }
    EXPECT_EQ(narrow->width(), 100);

    // Without a symbol the title is the text alone, with no room kept for an icon.
    auto* plainTitle = qobject_cast<QLabel*>(plain->findChild<QWidget*>("cardTitle"));
    ASSERT_NE(plainTitle, nullptr);
    EXPECT_EQ(plainTitle->text(), "Overview");
    EXPECT_EQ(plain->findChild<QWidget*>("icon"), nullptr);
    EXPECT_EQ(plain->accessory(), nullptr);
    EXPECT_EQ(plain->findChildren<QPushButton*>().size(), 0);

    EXPECT_NE(full->findChild<QWidget*>("icon"), nullptr);
    EXPECT_EQ(full->findChild<QLabel*>("title")->text(), "Caches");
    EXPECT_EQ(button->parentWidget(), full);
    EXPECT_EQ(button->geometry().right(), full->width() - SectionCard::padding - 1);
}

TEST(TintedLabelStyle, OnlyTheIconTakesTheTint)
{
    ensureApplication();
    QWidget surroundings;
    applyTextColor(&surroundings, textColor(TextEmphasis::secondary));
    applyTextStyle(&surroundings, TextStyle::subheadline);
    QWidget* label = TintedLabelStyle(NamedColor::orange).makeBody("folder.fill", "Developer", &surroundings);

    auto* title = label->findChild<QLabel*>("title");
    auto* icon = label->findChild<QLabel*>("icon");
    ASSERT_NE(title, nullptr);
    ASSERT_NE(icon, nullptr);
    EXPECT_EQ(title->palette().color(QPalette::WindowText), textColor(TextEmphasis::secondary));
    EXPECT_EQ(title->font(), textStyleFont(TextStyle::subheadline));
    EXPECT_TRUE(showsColour(icon->pixmap(), NamedColor::orange));
    EXPECT_FALSE(showsColour(icon->pixmap(), textColor(TextEmphasis::primary)));
    // The icon follows the inherited text size.
    EXPECT_EQ(icon->height(), QFontMetrics(textStyleFont(TextStyle::subheadline)).height());
}

TEST(Cards, TilesOfOneGridShareTheirSizeAndKeepEveryTextInside)
{
    ensureApplication();
    QWidget window;
    auto* column = new QVBoxLayout(&window);

    const QString longValue = QStringLiteral("Xcode_15.2_Release_Candidate.xip");
    const QString longDetail = QStringLiteral("~/Library/Caches/com.example.browser/Cache/Cache_Data/"
                                              "index-dir/the-real-index-with-a-long-name");
    const std::vector<MetricCard*> tiles = {
        new MetricCard("Used", "412.8 GB", QStringLiteral("of 494.4 GB, 83% full"), "internaldrive", NamedColor::blue,
                       [] {}),
        new MetricCard("Files", "1,204,331", QStringLiteral("in 84,112 folders"), "doc", NamedColor::indigo),
        new MetricCard("Largest file", longValue, std::nullopt, "archivebox", NamedColor::orange),
        new MetricCard("Caches", "18.36 GB", longDetail, "archivebox", NamedColor::yellow),
        new MetricCard("Applications", "—", std::nullopt, "square.grid.3x3", NamedColor::green),
        new MetricCard("Scanned", "0 bytes", QString(), "clock.arrow.circlepath", NamedColor::gray),
    };
    auto* grid = new QGridLayout;
    for (std::size_t i = 0; i < tiles.size(); ++i)
        grid->addWidget(tiles[i], static_cast<int>(i / 3), static_cast<int>(i % 3));
    column->addLayout(grid);

    auto* rows = new QLabel("Documents\t48.2 GB\nDownloads\t21.7 GB\nDeveloper\t96.4 GB");
    auto* categories = new SectionCard("Storage by category", "chart.pie", rows, new QPushButton("Show All"));
    column->addWidget(categories);
    auto* empty = new SectionCard("Nothing here yet", QString(), new QLabel("No items."));
    column->addWidget(empty);
    column->addStretch(1);
    window.resize(620, 560);
    window.show();
    QCoreApplication::processEvents();

    for (std::size_t i = 0; i < tiles.size(); ++i) {
        MetricCard* tile = tiles[i];
        SCOPED_TRACE(tile->shownValue().toStdString());
        // A row shares its height; the columns split the width, to the pixel.
        EXPECT_EQ(tile->height(), tiles[i - i % 3]->height());
        EXPECT_LE(std::abs(tile->width() - tiles[0]->width()), 1);
        for (QWidget* part : tile->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
            if (part->isVisible()) {
                EXPECT_TRUE(tile->rect().contains(part->geometry())) << part->objectName().toStdString();
            }
    }
    // Too long for a third of the row: the value shrinks and is cut, the detail loses its middle.
    EXPECT_DOUBLE_EQ(tiles[2]->shownValueScale(), MetricCard::minimumValueScale);
    EXPECT_TRUE(tiles[2]->shownValue().endsWith(QChar(0x2026))) << tiles[2]->shownValue().toStdString();
    EXPECT_EQ(tiles[3]->shownDetail().count(QChar(0x2026)), 1) << tiles[3]->shownDetail().toStdString();
    EXPECT_EQ(tiles[0]->shownValue(), "412.8 GB");

    for (SectionCard* card : {categories, empty}) {
        EXPECT_EQ(card->width(), tiles[2]->geometry().right() - tiles[0]->x() + 1);
        EXPECT_GE(card->content()->height(), card->content()->sizeHint().height());
        EXPECT_TRUE(card->rect().contains(card->content()->geometry()));
    }
    EXPECT_GE(empty->y(), categories->geometry().bottom());
    saveScreenshot(window, QStringLiteral("cards"));
}
