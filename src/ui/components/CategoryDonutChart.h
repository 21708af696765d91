#pragma once

#include "index/ScanRecords.h"

#include <QPointF>
#include <QRectF>
#include <QString>
#include <QWidget>

#include <functional>
#include <optional>
#include <utility>
#include <vector>

// How the bytes divide among the categories, as a ring of sectors clockwise from the top.
// Hovering a sector dims the others and names it in the centre; a click hands its
// category back.
class CategoryDonutChart : public QWidget {
    Q_OBJECT

public:
    using OnSelect = std::function<void(StorageCategory)>;

    CategoryDonutChart(std::vector<CategoryUsage> usages, QString centerTitle, QString centerValue, OnSelect onSelect,
                       double innerRatio, QWidget* parent = nullptr);

    // A hovered category that is no longer among the new usages is let go, so the centre
    // never pairs a vanished category with the total.
    void setUsages(std::vector<CategoryUsage> usages);
    void setCenterTexts(QString title, QString value);

    std::optional<StorageCategory> hovered() const { return hovered_; }
    const std::vector<CategoryUsage>& usages() const { return usages_; }

    // What drawing and the hit test both measure from.
    struct Geometry {
        QPointF center;
        double outerRadius = 0;
        double innerRadius = 0;   // of the drawn hole
        double hitInnerLimit = 0; // a little inside the hole still counts as the ring
        double centerTextWidth = 0;
    };
    static Geometry geometry(const QRectF& plotArea, double innerRatio);

    // The category of the sector under `point`, none over the hole, outside the ring, or
    // when nothing has bytes. A point on a boundary belongs to the earlier sector.
    static std::optional<StorageCategory> categoryAt(const QPointF& point, const Geometry& geometry,
                                                     const std::vector<CategoryUsage>& usages);

    // The two centre lines: the hovered category's name and size, or the title and value.
    static std::pair<QString, QString> centerLines(const std::vector<CategoryUsage>& usages,
                                                   std::optional<StorageCategory> hovered, const QString& title,
                                                   const QString& value);
    std::pair<QString, QString> centerLines() const;

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void setHovered(std::optional<StorageCategory> category);
    Geometry currentGeometry() const;

    std::vector<CategoryUsage> usages_;
    QString centerTitle_;
    QString centerValue_;
    OnSelect onSelect_;
    double innerRatio_;
    std::optional<StorageCategory> hovered_;
};
