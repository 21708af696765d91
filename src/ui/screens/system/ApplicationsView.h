#pragma once

#include "ui/components/ChartRecords.h"
#include "ui/screens/system/AppRow.h"

#include <QWidget>

#include <memory>
#include <optional>
#include <string>
#include <vector>

class AppDetailView;
class AppModel;
class ColumnWidths;
class ApplicationsTableModel;
class EmptyStateView;
class QCheckBox;
class QLabel;
class QLineEdit;
class QMenu;
class QProgressBar;
class QSplitter;
class QStackedWidget;
class QTableView;
class QToolButton;
class SizeBarChart;

// The installed applications side by side with their bundle sizes and what their
// processes use now, with a filter, a size chart and the detail panel. Samples the
// processes while it exists.
class ApplicationsView : public QWidget {
    Q_OBJECT

public:
    explicit ApplicationsView(AppModel& model, QWidget* parent = nullptr);
    ~ApplicationsView() override;

    const std::vector<AppRow>& displayedRows() const;
    // The identity of the application selected in the table, if any.
    std::optional<std::string> selection() const;
    // Selects the row with that identity, or none.
    void setSelection(const std::optional<std::string>& id);
    void setFilter(const QString& filter);
    void setShowSystemApps(bool show);
    void setShowChart(bool show);
    void setShowInspector(bool show);
    bool showInspector() const { return showInspector_; }

    // "42 apps · 12.3 GB"; a row without size counts 0.
    static QString countText(const std::vector<AppRow>& rows);
    // The 15 largest rows, ties and unmeasured rows in table order.
    static std::vector<SizeBarItem> chartItems(const std::vector<AppRow>& rows);
    // The application a context menu opened on `row` acts on (the table holds one selection).
    static const ApplicationInfo* menuTarget(const std::vector<AppRow>& rows, int row);

    // The menu for a right click at table row `row` (-1 for empty space).
    QMenu* contextMenu(int row, QWidget* parent);
    void revealRow(int row);

    QTableView* table() const { return table_; }
    SizeBarChart* chart() const { return chart_; }
    AppDetailView* detail() const { return detail_; }
    QLabel* countLabel() const { return count_; }
    QToolButton* refreshButton() const { return refresh_; }

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void refresh();
    void selectionChanged();
    void adoptArrival();
    void updateInspector();
    void fitColumns();
    void hideBanner();

    AppModel& model_;
    // A bundle path another screen asked for, until a row of it is listed.
    std::optional<std::string> arriving_;
    QString filter_;
    bool showSystemApps_ = true;
    bool showInspector_ = false;

    ApplicationsTableModel* rows_;
    QWidget* banner_ = nullptr;
    QLineEdit* filterField_ = nullptr;
    QCheckBox* systemApps_ = nullptr;
    QProgressBar* sizing_ = nullptr;
    QLabel* count_ = nullptr;
    QToolButton* chartToggle_ = nullptr;
    QToolButton* refresh_ = nullptr;
    QToolButton* inspectorToggle_ = nullptr;
    SizeBarChart* chart_ = nullptr;
    QTableView* table_ = nullptr;
    QSplitter* split_ = nullptr;
    QStackedWidget* inspector_ = nullptr;
    EmptyStateView* noSelection_ = nullptr;
    AppDetailView* detail_ = nullptr;
    QWidget* overlay_ = nullptr;
    std::unique_ptr<ColumnWidths> widths_;
};
