#pragma once

#include "analysis/DuplicateRecords.h"
#include "scanning/TrashCandidate.h"

#include <QString>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <optional>
#include <map>
#include <set>
#include <stop_token>
#include <string>
#include <vector>

class AppModel;
class DuplicateListModel;
class EmptyStateView;
class LatestLoad;
class QCheckBox;
class QLabel;
class QLineEdit;
class QListView;
class QProgressBar;
class QPushButton;
class QStackedWidget;
class ScanRequiredView;
class StorageDatabase;

// The duplicate search over the scan cache: options, the search's progress, the
// groups of identical files with a tick per copy, and the removal of the ticked
// copies. At least one copy of every group always stays.
class DuplicateView : public QWidget {
    Q_OBJECT

public:
    // How the last search ended.
    enum class Outcome { notRun, finished, stopped, failed };

    using Progress = std::function<void(const DuplicateScanProgress&)>;
    // The search behind "Find Duplicates"; runs off the main thread and throws
    // CancellationError when stopped.
    using Search = std::function<std::vector<DuplicateGroup>(StorageDatabase& database,
                                                             const DuplicateScanOptions& options,
                                                             const Progress& progress, std::stop_token stop)>;

    // The typed megabytes as bytes: below 0.001 MB (NaN too) 1,000 bytes, and never
    // beyond what 64 bits hold.
    static std::int64_t minimumSizeBytes(double megabytes);
    // The engine's defaults with the typed size; with the Library searched, only the
    // Trash folders stay left out.
    static DuplicateScanOptions searchOptions(double megabytes, bool includeLibrary, const std::string& home);
    static std::int64_t totalSavings(const std::vector<DuplicateGroup>& groups);

    // The copies whose paths the path rules protect (no file-system check), each with
    // the rules' reason, the program's own paths given as found once. Judged once per
    // search, with the search.
    static std::map<std::string, std::string> protectedCopies(const std::vector<DuplicateGroup>& groups,
                                                              const std::string& home,
                                                              const std::vector<std::string>& ownPaths);
    // Why a copy's tick may not be switched on, empty when it may (or is on and may go
    // off): never the last unticked copy of its group, never a protected path. It runs
    // for every row at every change, so the verdicts are looked up, not judged.
    static QString tickRefusal(const FileItem& file, const DuplicateGroup& group, const std::set<std::string>& selected,
                               const std::map<std::string, std::string>& protectedPaths);
    static bool canSelect(const FileItem& file, const DuplicateGroup& group, const std::set<std::string>& selected,
                          const std::map<std::string, std::string>& protectedPaths)
    {
        return tickRefusal(file, group, selected, protectedPaths).isEmpty();
    }
    static constexpr const char* lastCopyText = "One copy of each file is always kept.";
    // The ticked copies, groups in order; a group ticked throughout offers nothing.
    static std::vector<TrashCandidate> trashCandidates(const std::vector<DuplicateGroup>& groups,
                                                       const std::set<std::string>& selected);
    // Without the gone files and the groups that no longer hold two copies.
    static std::vector<DuplicateGroup> withoutGone(const std::vector<DuplicateGroup>& groups,
                                                   const std::set<std::string>& gone);
    // The ticks on listed files, none of them in a group that would lose every copy.
    static std::set<std::string> prunedSelection(const std::vector<DuplicateGroup>& groups,
                                                 const std::set<std::string>& selected);

    static QString summaryText(std::size_t groupCount);
    static QString groupHeading(const DuplicateGroup& group);
    static QString groupTotals(const DuplicateGroup& group);
    static std::string duplicateNote(std::size_t otherCopies);
    static QString trashButtonTitle(std::size_t selectedCount);
    struct EmptyText {
        QString title;
        QString description;
        friend bool operator==(const EmptyText&, const EmptyText&) = default;
    };
    static EmptyText emptyText(Outcome outcome, const std::string& failure);

    explicit DuplicateView(AppModel& model, QWidget* parent = nullptr, Search search = {});
    ~DuplicateView() override;

    double minimumSizeMB() const { return minimumSizeMB_; }
    void setMinimumSizeMB(double megabytes);
    bool includesLibrary() const { return includeLibrary_; }
    void setIncludeLibrary(bool include);

    void start();
    void stop();
    bool isSearching() const;
    Outcome outcome() const { return outcome_; }
    const std::string& failure() const { return failure_; }
    const DuplicateScanProgress& progress() const { return progress_; }

    const std::vector<DuplicateGroup>& groups() const { return groups_; }
    const std::set<std::string>& selectedPaths() const { return selected_; }
    // Ticks or unticks a copy; a tick that canSelect refuses is not taken.
    void setSelected(const std::string& path, bool selected);
    void trashSelected();

    QLineEdit* minimumSizeField() const { return sizeField_; }
    QLabel* stageLabel() const { return stage_; }
    QPushButton* trashButton() const { return trash_; }
    QWidget* currentContent() const;
    EmptyStateView* emptyState() const { return empty_; }
    DuplicateListModel* listModel() const { return listModel_; }

signals:
    // Gone copies were dropped after a change of the scan data.
    void groupsPruned();

private:
    QWidget* buildOptionsBar();
    QWidget* buildResults();
    void finish(Outcome outcome, std::vector<DuplicateGroup> groups, std::map<std::string, std::string> protectedPaths = {},
                std::string failure = {});
    void pruneGone();
    void showGroups();
    void refreshTicks();
    void showContextMenu(const QPoint& position);
    void refresh();

    AppModel& model_;
    Search search_;
    std::string home_;
    std::vector<std::string> ownPaths_;
    std::vector<DuplicateGroup> groups_;
    std::map<std::string, std::string> protected_;
    DuplicateScanProgress progress_;
    double minimumSizeMB_ = 1.0;
    bool includeLibrary_ = false;
    std::set<std::string> selected_;
    Outcome outcome_ = Outcome::notRun;
    std::string failure_;
    LatestLoad* load_;
    LatestLoad* existence_;

    QLineEdit* sizeField_ = nullptr;
    QCheckBox* libraryToggle_ = nullptr;
    QProgressBar* progressBar_ = nullptr;
    QLabel* stage_ = nullptr;
    QPushButton* stop_ = nullptr;
    QPushButton* find_ = nullptr;
    QStackedWidget* content_ = nullptr;
    ScanRequiredView* scanRequired_ = nullptr;
    EmptyStateView* empty_ = nullptr;
    QWidget* results_ = nullptr;
    QListView* list_ = nullptr;
    DuplicateListModel* listModel_ = nullptr;
    QPushButton* trash_ = nullptr;
};
