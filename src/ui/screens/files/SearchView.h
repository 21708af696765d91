#pragma once

#include "analysis/SearchResults.h"

#include <QWidget>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class AppModel;
class FileDetailView;
class FileTable;
class QHBoxLayout;
class QPushButton;
class LatestLoad;
class QLabel;
class QProgressBar;
class QScrollArea;
class QSplitter;
class QStackedWidget;
class QTimer;
class StorageDatabase;

// Runs the toolbar's search text against the scan index and the installed
// applications once typing pauses, and shows the matches: a summary line, buttons
// for matching applications and folders, and the matching files with the chosen
// file's details beside them.
class SearchView : public QWidget {
    Q_OBJECT

public:
    // The search itself; tests replace it to count and delay calls. Runs off the main thread.
    using Runner = std::function<SearchResults(const std::string& text, StorageDatabase* database,
                                               const std::vector<ApplicationInfo>& applications)>;

    static constexpr int pauseMilliseconds = 250;
    static constexpr std::size_t maximumFolderButtons = 40;

    explicit SearchView(AppModel& model, QWidget* parent = nullptr);

    void setRunner(Runner runner) { runner_ = std::move(runner); }

    // Spaces and tabs removed at both ends; line breaks stay.
    static std::string trimmed(std::string_view text);
    static SearchResults emptyResults();
    // "3 files, 1 folder, 0 apps"
    static QString summaryText(const SearchResults& results);
    // A button's title as shown: an "&" in a name is a letter, not a mnemonic.
    static QString buttonTitle(const std::string& text);
    // "in 12 ms"
    static QString durationText(double seconds);
    // What the summary line says while a search for the current text waits or runs.
    static QString searchingText();
    // "Showing the largest 500 matches" when the files reach the limit, else empty.
    static QString limitText(const SearchResults& results);

    const SearchResults& results() const { return results_; }
    bool isSearching() const { return isSearching_; }
    std::optional<FileItem> selectedFile() const;

    QStackedWidget* pages() const { return pages_; }
    FileTable* table() const { return table_; }
    QWidget* strip() const { return strip_; }
    QWidget* inspector() const { return inspector_; }
    // The detail panel of the chosen file; null until a file is first chosen.
    FileDetailView* detailView() const { return detail_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void fitStrip();
    void keyChanged();
    void search();
    void store(SearchResults results);
    void refresh();
    // The summary line: the counts of the answer, or that a search is under way.
    void refreshSummaryLine();
    void refreshStrip();
    void refreshInspector();
    QPushButton* stripButton(std::vector<QPushButton*>& buttons, std::size_t index, const char* symbol,
                             const char* objectName);

    AppModel& model_;
    Runner runner_;
    SearchResults results_;
    bool isSearching_ = false;
    std::optional<std::string> key_;
    LatestLoad* searches_;
    QTimer* pause_;

    QStackedWidget* pages_;
    QLabel* summary_;
    QLabel* duration_;
    QLabel* limit_;
    QProgressBar* busy_;
    QScrollArea* stripArea_;
    QWidget* strip_;
    QHBoxLayout* stripRow_;
    // Made as answers need them and kept; the ones an answer does not use are hidden.
    std::vector<QPushButton*> applicationButtons_;
    std::vector<QPushButton*> folderButtons_;
    QWidget* stripDivider_;
    QSplitter* split_;
    FileTable* table_;
    QWidget* inspector_;
    FileDetailView* detail_ = nullptr;
};
