#pragma once

#include "index/FileRecords.h"
#include "index/StorageCategory.h"
#include "ui/components/ChartRecords.h"

#include <QString>
#include <QWidget>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <vector>

class AppModel;
class EmptyStateView;
class FileDetailView;
class FileTable;
class LatestLoad;
class QComboBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QSplitter;
class QStackedWidget;
class QTimer;
class QToolButton;
class SavePanel;
class ScanRequiredView;
class SizeBarChart;
class StorageDatabase;

// The largest files of the scan cache for a chosen count and category, with a bar
// chart of the ten largest, an inspector for one selected file and a CSV export
// of exactly the rows listed.
class LargestFilesView : public QWidget {
    Q_OBJECT

public:
    enum class Limit { top10, top50, top100, top500, custom };
    static constexpr std::array<Limit, 5> limits{Limit::top10, Limit::top50, Limit::top100, Limit::top500,
                                                 Limit::custom};
    static QString title(Limit limit);

    // The number of files asked for: the fixed counts, or the custom one kept within 1...10000.
    static std::int64_t effectiveCount(Limit limit, std::int64_t customCount);
    // The custom count after `steps` presses of the stepper, within 1...10000.
    static std::int64_t steppedCount(std::int64_t customCount, int steps);
    // A chart item's id read back as a file id: an optional sign, then digits only.
    static std::optional<std::int64_t> fileID(const std::string& chartItemID);
    static std::vector<SizeBarItem> chartItems(const std::vector<FileItem>& files);
    // The storage the files take, each file's once: the names of one hard-linked
    // file share its sizes and dates, and only the first of them counts.
    static std::int64_t countedBytes(const std::vector<FileItem>& files);
    // "2 files · 8.19 KB", with the counted bytes.
    static QString summaryText(const std::vector<FileItem>& files);
    static QString navigationTitle(std::optional<StorageCategory> category);
    // The one selected file, when exactly one listed file is selected.
    static std::optional<FileItem> selectedFile(const std::vector<FileItem>& files,
                                                const std::set<std::int64_t>& selection);

    // The index read behind the list; runs off the main thread.
    using Query = std::function<std::vector<FileItem>(StorageDatabase& database, std::int64_t count,
                                                      std::optional<StorageCategory> category)>;

    explicit LargestFilesView(AppModel& model, QWidget* parent = nullptr, Query query = {});
    ~LargestFilesView() override;

    Limit limit() const { return limit_; }
    void setLimit(Limit limit);
    std::int64_t customCount() const { return customCount_; }
    void setCustomCount(std::int64_t count);

    const std::vector<FileItem>& files() const { return files_; }
    std::set<std::int64_t> selection() const;
    void setSelection(const std::set<std::int64_t>& selection);
    bool isLoading() const;

    bool showsInspector() const { return showInspector_; }
    void setShowInspector(bool shows);
    void setShowChart(bool shows);

    // Asks where to save, writes the listed rows in their loaded order, and explains a failure.
    void exportCSV();
    void setSavePanel(std::shared_ptr<SavePanel> panel) { savePanel_ = std::move(panel); }

    QLabel* titleLabel() const { return title_; }
    QLabel* summaryLabel() const { return summary_; }
    QComboBox* limitPicker() const { return limitPicker_; }
    QComboBox* categoryPicker() const { return categoryPicker_; }
    QLineEdit* countField() const { return countField_; }
    FileTable* table() const { return table_; }
    SizeBarChart* chart() const { return chart_; }
    // The content shown: the list, "No files", or the scan-required view.
    QWidget* currentContent() const;
    QWidget* chartPane() const { return chartPane_; }
    // The inspector's file panel; null while it shows "No Selection".
    FileDetailView* detailView() const;

private:
    struct LoadKey {
        std::int64_t count = 0;
        std::optional<StorageCategory> category;
        int version = 0;
        friend bool operator==(const LoadKey&, const LoadKey&) = default;
    };

    QWidget* buildTitleBar();
    QWidget* buildHeaderBar();
    void requestLoad();
    void runLoad();
    void store(std::vector<FileItem> files);
    void selectionEdited();
    void refresh();
    void refreshInspector();
    void showCategory();

    AppModel& model_;
    Query query_;
    std::shared_ptr<SavePanel> savePanel_;
    Limit limit_ = Limit::top100;
    std::int64_t customCount_ = 1000;
    std::vector<FileItem> files_;
    bool showInspector_ = false;
    bool showChart_ = false;
    std::optional<LoadKey> requested_;
    QTimer* wait_;
    LatestLoad* load_;

    QLabel* title_ = nullptr;
    QToolButton* export_ = nullptr;
    QToolButton* chartToggle_ = nullptr;
    QToolButton* inspectorToggle_ = nullptr;
    QComboBox* limitPicker_ = nullptr;
    QLineEdit* countField_ = nullptr;
    QWidget* stepper_ = nullptr;
    QComboBox* categoryPicker_ = nullptr;
    QProgressBar* spinner_ = nullptr;
    QLabel* summary_ = nullptr;
    QStackedWidget* content_ = nullptr;
    QSplitter* listPane_ = nullptr;
    QWidget* chartPane_ = nullptr;
    SizeBarChart* chart_ = nullptr;
    FileTable* table_ = nullptr;
    EmptyStateView* noFiles_ = nullptr;
    ScanRequiredView* scanRequired_ = nullptr;
    QSplitter* body_ = nullptr;
    QStackedWidget* inspector_ = nullptr;
    EmptyStateView* noSelection_ = nullptr;
    FileDetailView* detail_ = nullptr;
};
