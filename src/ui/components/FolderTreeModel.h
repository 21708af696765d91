#pragma once

#include "index/FileRecords.h"
#include "ui/components/FolderTreeReader.h"

#include <QObject>

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

class LatestLoad;
class StorageDatabase;

// The folder tree of the scan index, read lazily: the top level (or one focus folder)
// on load, a folder's children the first time it is expanded. The visible part is
// flattened into rows in pre-order. Main thread only; every index read runs in the
// background, and an answer that a newer load made stale is dropped.
class FolderTreeModel : public QObject {
    Q_OBJECT

public:
    struct Row {
        FolderItem folder;
        int depth = 0;
        bool isExpanded = false;
        // What this folder's share is measured against: the sum of the top level's
        // totals for a top-level row, the parent's total otherwise.
        std::int64_t parentTotal = 0;

        friend bool operator==(const Row&, const Row&) = default;
    };

    // Children read per folder: its largest ones.
    static constexpr std::int64_t childLimit = 500;

    explicit FolderTreeModel(QObject* parent = nullptr);
    ~FolderTreeModel() override;

    const std::vector<Row>& rows() const { return rows_; }
    const std::vector<FolderItem>& roots() const { return roots_; }
    const std::optional<std::string>& focusPath() const { return focusPath_; }
    bool isLoading() const { return isLoading_; }
    // Why the last read failed, until the next load succeeds.
    const std::optional<std::string>& error() const { return error_; }
    // The children read so far for a folder, null when they were not read.
    const std::vector<FolderItem>* cachedChildren(std::int64_t folderID) const;

    // Replaces the whole tree: the focus folder alone, expanded, when the index has
    // it, otherwise the index's top level with a single root expanded.
    void load(std::shared_ptr<StorageDatabase> database, std::optional<std::string> focus = std::nullopt);
    void load(FolderTreeReader reader, std::optional<std::string> focus = std::nullopt);
    // Collapses an expanded folder, or expands a collapsed one, reading its children
    // the first time.
    void toggle(const FolderItem& folder, std::shared_ptr<StorageDatabase> database);
    void toggle(const FolderItem& folder, FolderTreeReader reader);

signals:
    void rowsChanged();
    void rootsChanged();
    void focusPathChanged();
    void isLoadingChanged();
    void errorChanged();

private:
    struct ChildRead {
        std::vector<FolderItem> children;
        std::optional<std::string> error;
    };
    struct LoadAnswer {
        std::vector<FolderItem> roots;
        std::optional<std::string> focusPath;
        std::optional<std::int64_t> expandedID;
        ChildRead expandedChildren;
        std::optional<std::string> error;
    };

    static ChildRead readChildren(const FolderTreeReader& reader, std::int64_t folderID);
    static LoadAnswer readTree(const FolderTreeReader& reader, const std::optional<std::string>& focus);
    void store(LoadAnswer answer);
    // Caches and expands on success; on failure leaves the folder collapsed and
    // uncached, so the next toggle reads again.
    void storeChildren(std::int64_t folderID, ChildRead read);
    void rebuild();
    void setError(std::optional<std::string> error);
    void dropChildReads();

    std::vector<Row> rows_;
    std::vector<FolderItem> roots_;
    std::map<std::int64_t, std::vector<FolderItem>> childCache_;
    std::set<std::int64_t> expanded_;
    std::optional<std::string> focusPath_;
    bool isLoading_ = false;
    std::optional<std::string> error_;
    LatestLoad* loads_;
    // The child reads of folders being expanded, one each; a load drops them all.
    std::map<std::int64_t, LatestLoad*> childReads_;
};
