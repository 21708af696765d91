#include "ui/components/SymbolIcons.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QHash>
#include <QIconEngine>
#include <QPainter>
#include <QPixmapCache>
#include <QPalette>
#include <QSvgRenderer>

static void initSymbolResources()
{
    // The resources live in a static library; naming their initializer keeps the
    // linker from dropping them.
    Q_INIT_RESOURCE(symbols);
}

namespace {

QString resourcePath(std::string_view name)
{
    return QStringLiteral(":/symbols/") + QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size()))
        + QStringLiteral(".svg");
}

const QByteArray* svgSource(std::string_view name)
{
    static QHash<QString, QByteArray> cache;
    static bool initialized = false;
    if (!initialized) {
        initSymbolResources();
        initialized = true;
    }
    const QString path = resourcePath(name);
    auto it = cache.find(path);
    if (it == cache.end()) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            return nullptr;
        it = cache.insert(path, file.readAll());
    }
    return &it.value();
}

class SymbolIconEngine : public QIconEngine {
public:
    SymbolIconEngine(std::string name, QColor tint) : name_(std::move(name)), tint_(tint) {}

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State) override
    {
        const int side = std::min(rect.width(), rect.height());
        const qreal dpr = painter->device() ? painter->device()->devicePixelRatioF() : 1.0;
        const QPixmap pm = SymbolIcons::pixmap(name_, side, colorFor(mode), dpr);
        const QRect target(rect.x() + (rect.width() - side) / 2, rect.y() + (rect.height() - side) / 2, side, side);
        painter->drawPixmap(target, pm);
    }

    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State) override
    {
        return SymbolIcons::pixmap(name_, std::min(size.width(), size.height()), colorFor(mode));
    }

    QIconEngine* clone() const override { return new SymbolIconEngine(name_, tint_); }

private:
    QColor colorFor(QIcon::Mode mode) const
    {
        const QPalette palette = QApplication::palette();
        if (mode == QIcon::Disabled)
            return palette.color(QPalette::Disabled, QPalette::WindowText);
        if (mode == QIcon::Selected && !tint_.isValid())
            return palette.color(QPalette::HighlightedText);
        return tint_.isValid() ? tint_ : palette.color(QPalette::WindowText);
    }

    std::string name_;
    QColor tint_;
};

} // namespace

bool SymbolIcons::contains(std::string_view symbolName)
{
    return svgSource(symbolName) != nullptr;
}

QStringList SymbolIcons::names()
{
    initSymbolResources();
    QStringList list;
    for (const QString& file : QDir(QStringLiteral(":/symbols")).entryList({QStringLiteral("*.svg")}, QDir::Files))
        list.append(file.chopped(4));
    list.sort();
    return list;
}

QPixmap SymbolIcons::pixmap(std::string_view symbolName, int size, const QColor& tint, qreal devicePixelRatio)
{
    const QByteArray* source = svgSource(symbolName);
    if (!source || size <= 0)
        return {};
    // Rows paint their symbols on every repaint; parsing the SVG each time dominated it.
    const QString key = QStringLiteral("symbol:%1:%2:%3:%4")
                            .arg(QLatin1String(symbolName.data(), static_cast<qsizetype>(symbolName.size())))
                            .arg(size)
                            .arg(tint.rgba64().toArgb32(), 0, 16)
                            .arg(devicePixelRatio);
    QPixmap cached;
    if (QPixmapCache::find(key, &cached))
        return cached;
    QByteArray svg = *source;
    svg.replace("#000000", tint.name(QColor::HexRgb).toLatin1());
    QSvgRenderer renderer(svg);
    const int device = static_cast<int>(std::lround(size * devicePixelRatio));
    QPixmap pm(device, device);
    pm.fill(Qt::transparent);
    {
        QPainter painter(&pm);
        painter.setRenderHint(QPainter::Antialiasing);
        if (tint.alphaF() < 1.0)
            painter.setOpacity(tint.alphaF());
        renderer.render(&painter, QRectF(0, 0, device, device));
    }
    pm.setDevicePixelRatio(devicePixelRatio);
    QPixmapCache::insert(key, pm);
    return pm;
}

QIcon SymbolIcons::icon(std::string_view symbolName, const QColor& tint)
{
    if (!contains(symbolName))
        return {};
    return QIcon(new SymbolIconEngine(std::string(symbolName), tint));
}

QIcon SymbolIcons::applicationIcon()
{
    initSymbolResources();
    return QIcon(QStringLiteral(":/appicon/kestrelmoor.svg"));
}
