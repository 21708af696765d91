#include "ui/components/FolderTreeModel.h"

#include "app/LatestLoad.h"
#include "app/QtText.h"
#include "app/SetIfChanged.h"
#include "app/system/ErrorText.h"
#include "index/StorageDatabase.h"
#include "ui/components/FolderTreeRow.h"
#include "ui/components/KeyedRowPlan.h"

#include <deque>
#include <unordered_set>
#include <utility>

struct FolderTreeModel::Node {
    Row row;
    Node* parent = nullptr;
    int position = 0;   // row within the parent
    std::vector<std::unique_ptr<Node>> children;
    bool childrenRead = false;
};

FolderTreeModel::FolderTreeModel(QObject* parent) : QAbstractItemModel(parent), loads_(new LatestLoad(this)) {}

FolderTreeModel::~FolderTreeModel() = default;

FolderTreeModel::Node* FolderTreeModel::nodeOf(const QModelIndex& index) const
{
    if (!index.isValid() || index.model() != this)
        return nullptr;
    return static_cast<Node*>(index.internalPointer());
}

std::vector<std::unique_ptr<FolderTreeModel::Node>>& FolderTreeModel::childrenOf(Node* parent)
{
    return parent ? parent->children : top_;
}

QModelIndex FolderTreeModel::indexOf(const Node* node) const
{
    return node ? createIndex(node->position, 0, const_cast<Node*>(node)) : QModelIndex();
}

QModelIndex FolderTreeModel::indexOf(std::int64_t folderID) const
{
    const auto found = nodes_.find(folderID);
    return found == nodes_.end() ? QModelIndex() : indexOf(found->second);
}

QModelIndex FolderTreeModel::index(int row, int column, const QModelIndex& parent) const
{
    if (column != 0 || row < 0 || (parent.isValid() && parent.model() != this))
        return {};
    const auto& list = parent.isValid() ? nodeOf(parent)->children : top_;
    if (row >= static_cast<int>(list.size()))
        return {};
    return createIndex(row, 0, list[static_cast<std::size_t>(row)].get());
}

QModelIndex FolderTreeModel::parent(const QModelIndex& child) const
{
    const Node* node = nodeOf(child);
    return node ? indexOf(node->parent) : QModelIndex();
}

int FolderTreeModel::rowCount(const QModelIndex& parent) const
{
    if (parent.column() > 0)
        return 0;
    const Node* node = nodeOf(parent);
    return static_cast<int>(node ? node->children.size() : (parent.isValid() ? 0 : top_.size()));
}

int FolderTreeModel::columnCount(const QModelIndex&) const
{
    return 1;
}

bool FolderTreeModel::hasChildren(const QModelIndex& parent) const
{
    const Node* node = nodeOf(parent);
    if (!node)
        return !parent.isValid() && !top_.empty();
    return node->childrenRead ? !node->children.empty() : node->row.folder.folderCount > 0;
}

bool FolderTreeModel::canFetchMore(const QModelIndex& parent) const
{
    const Node* node = nodeOf(parent);
    return node && !node->childrenRead && node->row.folder.folderCount > 0 && reader_.childFolders;
}

void FolderTreeModel::fetchMore(const QModelIndex& parent)
{
    if (!canFetchMore(parent))
        return;
    const std::int64_t folderID = nodeOf(parent)->row.folder.id;
    if (childReads_.count(folderID) > 0)
        return;
    auto* read = new LatestLoad(this);
    childReads_[folderID] = read;
    read->start([reader = reader_, folderID] { return readChildren(reader, folderID); },
                [this, read, folderID](ChildRead children) {
                    childReads_.erase(folderID);
                    read->deleteLater();
                    storeChildren(folderID, std::move(children));
                });
}

QVariant FolderTreeModel::data(const QModelIndex& index, int role) const
{
    const Row* shown = row(index);
    if (!shown)
        return {};
    switch (role) {
    case Qt::DisplayRole:
    case Qt::AccessibleTextRole:
        return FolderTreeRow::nameText(shown->folder);
    case Qt::ToolTipRole:
        return qstr(shown->folder.path);
    case FolderIDRole:
        return QVariant::fromValue<qint64>(shown->folder.id);
    default:
        return {};
    }
}

const FolderTreeModel::Row* FolderTreeModel::row(const QModelIndex& index) const
{
    const Node* node = nodeOf(index);
    return node ? &node->row : nullptr;
}

std::optional<std::vector<FolderItem>> FolderTreeModel::cachedChildren(std::int64_t folderID) const
{
    const auto found = nodes_.find(folderID);
    if (found == nodes_.end() || !found->second->childrenRead)
        return std::nullopt;
    std::vector<FolderItem> children;
    for (const auto& child : found->second->children)
        children.push_back(child->row.folder);
    return children;
}

void FolderTreeModel::load(std::shared_ptr<StorageDatabase> database, std::optional<std::string> focus)
{
    if (database)
        load(FolderTreeReader::of(std::move(database)), std::move(focus));
}

void FolderTreeModel::load(FolderTreeReader reader, std::optional<std::string> focus)
{
    setIfChanged(this, isLoading_, true, &FolderTreeModel::isLoadingChanged);
    // Reading the same tree again reads again what was read of it, so that the
    // folders open in a view stay open; a new focus starts a new tree.
    std::vector<std::int64_t> readAgain;
    if (requestedFocus_ && *requestedFocus_ == focus) {
        std::deque<const Node*> waiting;
        for (const auto& node : top_)
            waiting.push_back(node.get());
        while (!waiting.empty()) {
            const Node* node = waiting.front();
            waiting.pop_front();
            if (node->childrenRead || childReads_.count(node->row.folder.id) > 0)
                readAgain.push_back(node->row.folder.id);
            for (const auto& child : node->children)
                waiting.push_back(child.get());
        }
    }
    // Children asked for before now may predate what this load reads.
    dropChildReads();
    requestedFocus_ = focus;
    reader_ = reader;
    setIfChanged(this, focusPath_, focus, &FolderTreeModel::focusPathChanged);
    loads_->start(
        [reader = std::move(reader), focus = std::move(focus), readAgain = std::move(readAgain)](std::stop_token stop) {
            LoadAnswer answer;
            if (!stop.stop_requested())
                answer = readTree(reader, focus, readAgain);
            answer.requestedFocus = focus;
            return answer;
        },
        [this](LoadAnswer answer) { store(std::move(answer)); });
}

void FolderTreeModel::dropChildReads()
{
    for (const auto& [folderID, read] : childReads_)
        delete read;
    childReads_.clear();
}

FolderTreeModel::ChildRead FolderTreeModel::readChildren(const FolderTreeReader& reader, std::int64_t folderID)
{
    ChildRead read;
    try {
        read.children = reader.childFolders(folderID, childLimit);
    } catch (...) {
        read.error = errorText();
    }
    return read;
}

FolderTreeModel::LoadAnswer FolderTreeModel::readTree(const FolderTreeReader& reader,
                                                      const std::optional<std::string>& focus,
                                                      const std::vector<std::int64_t>& readAgain)
{
    LoadAnswer answer;
    auto readFolders = [&] {
        if (answer.openedID)
            answer.children[*answer.openedID] = readChildren(reader, *answer.openedID);
        for (const std::int64_t folderID : readAgain)
            if (answer.children.count(folderID) == 0)
                answer.children[folderID] = readChildren(reader, folderID);
    };
    if (focus) {
        std::optional<FolderItem> found;
        try {
            found = reader.folder(*focus);
        } catch (...) {
            // A failed lookup falls back to the top level, like a focus not indexed.
        }
        if (found) {
            answer.roots = {*found};
            answer.focusPath = focus;
            answer.openedID = found->id;
            readFolders();
            return answer;
        }
    }
    try {
        answer.roots = reader.rootFolders();
    } catch (...) {
        answer.error = errorText();
    }
    if (answer.roots.size() == 1)
        answer.openedID = answer.roots.front().id;
    readFolders();
    return answer;
}

void FolderTreeModel::store(LoadAnswer answer)
{
    setError(std::move(answer.error));
    // Another focus is another tree: none of its folders is one shown now.
    const bool sameTree = shownFocus_ && *shownFocus_ == answer.requestedFocus;
    if (!sameTree && !top_.empty()) {
        beginResetModel();
        top_.clear();
        nodes_.clear();
        endResetModel();
    }
    shownFocus_ = answer.requestedFocus;
    replaceChildren(nullptr, answer.roots);
    setIfChanged(this, roots_, std::move(answer.roots), &FolderTreeModel::rootsChanged);
    setIfChanged(this, focusPath_, std::move(answer.focusPath), &FolderTreeModel::focusPathChanged);
    // Parents first, so that each folder read again is in the tree when its turn comes.
    std::deque<Node*> waiting;
    for (const auto& node : top_)
        waiting.push_back(node.get());
    while (!waiting.empty()) {
        Node* node = waiting.front();
        waiting.pop_front();
        const auto read = answer.children.find(node->row.folder.id);
        if (read != answer.children.end())
            storeChildren(node->row.folder.id, std::move(read->second));
        for (const auto& child : node->children)
            waiting.push_back(child.get());
    }
    if (answer.openedID) {
        const QModelIndex index = indexOf(*answer.openedID);
        if (index.isValid() && nodeOf(index)->childrenRead)
            emit opened(index);
    }
    setIfChanged(this, isLoading_, false, &FolderTreeModel::isLoadingChanged);
}

void FolderTreeModel::storeChildren(std::int64_t folderID, ChildRead read)
{
    const auto found = nodes_.find(folderID);
    if (found == nodes_.end())
        return;
    Node* node = found->second;
    if (read.error) {
        setError(std::move(read.error));
        // Children read before stay; a folder never read stays unread, so that it is read again.
        if (!node->childrenRead)
            emit childReadFailed(indexOf(node));
        return;
    }
    node->childrenRead = true;
    replaceChildren(node, std::move(read.children));
}

void FolderTreeModel::forget(Node& node)
{
    nodes_.erase(node.row.folder.id);
    for (const auto& child : node.children)
        forget(*child);
}

void FolderTreeModel::replaceChildren(Node* parent, std::vector<FolderItem> next)
{
    const QModelIndex parentIndex = indexOf(parent);
    auto& list = childrenOf(parent);
    // A folder is in the tree once: one already held under another parent is left there.
    std::vector<Row> rows;
    std::vector<std::int64_t> nextKeys;
    {
        std::unordered_set<std::int64_t> seen;
        std::int64_t topTotal = 0;
        for (const auto& folder : next)
            topTotal += folder.totalAllocated;
        for (auto& folder : next) {
            const auto held = nodes_.find(folder.id);
            if ((held != nodes_.end() && held->second->parent != parent) || !seen.insert(folder.id).second)
                continue;
            nextKeys.push_back(folder.id);
            const std::int64_t parentTotal = parent ? parent->row.folder.totalAllocated : topTotal;
            rows.push_back({std::move(folder), parentTotal});
        }
    }
    std::vector<std::int64_t> oldKeys;
    for (const auto& node : list)
        oldKeys.push_back(node->row.folder.id);
    const KeyedRowPlan plan = planKeyedRows(oldKeys, nextKeys);

    for (const auto& [first, last] : plan.removals) {
        beginRemoveRows(parentIndex, first, last);
        for (int i = first; i <= last; ++i)
            forget(*list[static_cast<std::size_t>(i)]);
        list.erase(list.begin() + first, list.begin() + last + 1);
        for (std::size_t i = 0; i < list.size(); ++i)
            list[i]->position = static_cast<int>(i);
        endRemoveRows();
    }

    if (!plan.reorder.empty()) {
        const QList<QPersistentModelIndex> parents =
            parent ? QList<QPersistentModelIndex>{QPersistentModelIndex(parentIndex)} : QList<QPersistentModelIndex>{};
        emit layoutAboutToBeChanged(parents, QAbstractItemModel::VerticalSortHint);
        std::vector<std::unique_ptr<Node>> reordered(list.size());
        for (std::size_t i = 0; i < list.size(); ++i)
            reordered[static_cast<std::size_t>(plan.reorder[i])] = std::move(list[i]);
        list = std::move(reordered);
        for (std::size_t i = 0; i < list.size(); ++i)
            list[i]->position = static_cast<int>(i);
        // Each folder keeps its item: only the row numbers under this parent change.
        const QModelIndexList before = persistentIndexList();
        QModelIndexList from;
        QModelIndexList to;
        for (const QModelIndex& index : before) {
            const Node* node = nodeOf(index);
            if (node && node->parent == parent && index.row() != node->position) {
                from.push_back(index);
                to.push_back(indexOf(node));
            }
        }
        changePersistentIndexList(from, to);
        emit layoutChanged(parents, QAbstractItemModel::VerticalSortHint);
    }

    for (const auto& [first, last] : plan.insertions) {
        beginInsertRows(parentIndex, first, last);
        for (int i = first; i <= last; ++i) {
            auto node = std::make_unique<Node>();
            node->row = rows[static_cast<std::size_t>(i)];
            node->parent = parent;
            nodes_[node->row.folder.id] = node.get();
            list.insert(list.begin() + i, std::move(node));
        }
        for (std::size_t i = 0; i < list.size(); ++i)
            list[i]->position = static_cast<int>(i);
        endInsertRows();
    }

    for (std::size_t i = 0; i < rows.size(); ++i) {
        Node& node = *list[i];
        if (node.row == rows[i])
            continue;
        node.row = std::move(rows[i]);
        const QModelIndex changed = indexOf(&node);
        emit dataChanged(changed, changed);
    }
}

void FolderTreeModel::setError(std::optional<std::string> error)
{
    setIfChanged(this, error_, std::move(error), &FolderTreeModel::errorChanged);
}
