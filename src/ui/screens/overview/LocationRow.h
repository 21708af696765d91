#pragma once

#include "analysis/KnownLocation.h"
#include "index/FileRecords.h"

#include "ui/screens/overview/RowButton.h"

#include <QColor>

class QLabel;

#include <functional>
#include <optional>

// One well-known folder of the storage screen: its symbol, name and path, and its
// size and file count from the index, or that it was not scanned. The screen
// decides what a click does.
class LocationRow : public RowButton {
    Q_OBJECT

public:
    LocationRow(KnownLocation location, std::optional<FolderItem> folder, std::function<void()> action,
                QWidget* parent = nullptr);

    const KnownLocation& location() const { return location_; }
    const std::optional<FolderItem>& folder() const { return folder_; }
    // The location's index row as newly read.
    void setFolder(std::optional<FolderItem> folder);

    // The category's colour, or the secondary text colour without a category.
    static QColor symbolTint(const KnownLocation& location);

    static constexpr int symbolWidth = 20;
    static constexpr int countWidth = 110;

private:
    KnownLocation location_;
    std::optional<FolderItem> folder_;
    QWidget* restricted_;
    QLabel* size_;
    QLabel* count_;
    QLabel* unscanned_;
};
