#pragma once

#include <QString>
#include <QWidget>

class AdaptiveGrid;
class AppModel;

// The privacy promises, and where the one piece of data the program keeps, the
// scan cache, lies on this machine.
class PrivacyView : public QWidget {
    Q_OBJECT

public:
    explicit PrivacyView(AppModel& model, QWidget* parent = nullptr);

    static constexpr int maximumContentWidth = 980;
    static constexpr int minimumPointWidth = 230;
    static constexpr int minimumPointHeight = 110;

    // The cache file with the home folder as "~", or "Not created" without a cache.
    static QString cacheLocation(const AppModel& model);
    AdaptiveGrid* points() const { return points_; }

private:
    AdaptiveGrid* points_ = nullptr;
};
