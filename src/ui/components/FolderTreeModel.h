#pragma once

#include "index/FileRecords.h"
#include "ui/components/FolderTreeReader.h"

#include <QAbstractItemModel>

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

class LatestLoad;
class StorageDatabase;

// The folder tree of the scan index as a Qt tree model, one item per folder, keyed
// by folder id. The top level (or one focus folder) comes with a load; a folder's
// children are read the first time a view asks for them (fetchMore). A reload
// updates the folders in place by id, so that views keep their expanded folders,
// selection and current row on the same folders. Main thread only; every index
// read runs in the background, and an answer that a newer load made stale is dropped.
class FolderTreeModel : public QAbstractItemModel {
    Q_OBJECT

public:
    // What one line shows.
    struct Row {
        FolderItem folder;
        // What this folder's share is measured against: the sum of the top level's
        // totals for a top-level folder, the parent's total otherwise.
        std::int64_t parentTotal = 0;

        friend bool operator==(const Row&, const Row&) = default;
    };

    enum Role { FolderIDRole = Qt::UserRole + 1 };

    // Children read per folder: its largest ones.
    static constexpr std::int64_t childLimit = 500;

    explicit FolderTreeModel(QObject* parent = nullptr);
    ~FolderTreeModel() override;

    QModelIndex index(int row, int column, const QModelIndex& parent = QModelIndex()) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    bool hasChildren(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    // True for a folder with subfolders whose children were not read yet.
    bool canFetchMore(const QModelIndex& parent) const override;
    // Reads the folder's children in the background; they are inserted when they come.
    void fetchMore(const QModelIndex& parent) override;

    // The line at `index`, null for an index not of this model.
    const Row* row(const QModelIndex& index) const;
    // The folder's index, invalid when the tree does not hold it.
    QModelIndex indexOf(std::int64_t folderID) const;

    const std::vector<FolderItem>& roots() const { return roots_; }
    const std::optional<std::string>& focusPath() const { return focusPath_; }
    bool isLoading() const { return isLoading_; }
    // Why the last read failed, until the next load succeeds.
    const std::optional<std::string>& error() const { return error_; }
    // The children read so far for a folder, none when they were not read.
    std::optional<std::vector<FolderItem>> cachedChildren(std::int64_t folderID) const;

    // Replaces the tree: the focus folder alone, opened, when the index has it,
    // otherwise the index's top level with a single root opened. Folders that stay
    // are updated in place, and the children of those read before are read again.
    void load(std::shared_ptr<StorageDatabase> database, std::optional<std::string> focus = std::nullopt);
    void load(FolderTreeReader reader, std::optional<std::string> focus = std::nullopt);

signals:
    void rootsChanged();
    void focusPathChanged();
    void isLoadingChanged();
    void errorChanged();
    // A folder that a load opened by itself (the focus, or the only root); views expand it.
    void opened(const QModelIndex& index);
    // A folder whose children could not be read; views close it, so that opening it
    // again reads again.
    void childReadFailed(const QModelIndex& index);

private:
    struct Node;
    struct ChildRead {
        std::vector<FolderItem> children;
        std::optional<std::string> error;
    };
    struct LoadAnswer {
        std::optional<std::string> requestedFocus;
        std::vector<FolderItem> roots;
        std::optional<std::string> focusPath;
        std::optional<std::int64_t> openedID;
        std::map<std::int64_t, ChildRead> children;
        std::optional<std::string> error;
    };

    static ChildRead readChildren(const FolderTreeReader& reader, std::int64_t folderID);
    static LoadAnswer readTree(const FolderTreeReader& reader, const std::optional<std::string>& focus,
                               const std::vector<std::int64_t>& readAgain);
    void store(LoadAnswer answer);
    void storeChildren(std::int64_t folderID, ChildRead read);
    // Makes `next` the children of `parent` (the top level for null), matching by id.
    void replaceChildren(Node* parent, std::vector<FolderItem> next);
    QModelIndex indexOf(const Node* node) const;
    Node* nodeOf(const QModelIndex& index) const;
    std::vector<std::unique_ptr<Node>>& childrenOf(Node* parent);
    void forget(Node& node);
    void setError(std::optional<std::string> error);
    void dropChildReads();

    std::vector<std::unique_ptr<Node>> top_;
    std::unordered_map<std::int64_t, Node*> nodes_;
    std::vector<FolderItem> roots_;
    std::optional<std::string> focusPath_;
    // The focus asked for by the last load, and by the one whose tree is shown; found or not.
    std::optional<std::optional<std::string>> requestedFocus_;
    std::optional<std::optional<std::string>> shownFocus_;
    bool isLoading_ = false;
    std::optional<std::string> error_;
    FolderTreeReader reader_;
    LatestLoad* loads_;
    // The child reads under way, one per folder; a load takes them over.
    std::map<std::int64_t, LatestLoad*> childReads_;
};
