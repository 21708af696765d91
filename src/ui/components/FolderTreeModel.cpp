#include "ui/components/FolderTreeModel.h"

#include "app/LatestLoad.h"
#include "app/SetIfChanged.h"
#include "index/StorageDatabase.h"

#include <exception>
#include <functional>
#include <utility>

namespace {

const char* const unexpectedError = "An unexpected error occurred.";

} // namespace

FolderTreeModel::FolderTreeModel(QObject* parent) : QObject(parent), loads_(new LatestLoad(this)) {}

FolderTreeModel::~FolderTreeModel() = default;

const std::vector<FolderItem>* FolderTreeModel::cachedChildren(std::int64_t folderID) const
{
    const auto found = childCache_.find(folderID);
    return found == childCache_.end() ? nullptr : &found->second;
}

void FolderTreeModel::load(std::shared_ptr<StorageDatabase> database, std::optional<std::string> focus)
{
    if (database)
        load(FolderTreeReader::of(std::move(database)), std::move(focus));
}

void FolderTreeModel::load(FolderTreeReader reader, std::optional<std::string> focus)
{
    setIfChanged(this, isLoading_, true, &FolderTreeModel::isLoadingChanged);
    // The previous rows stay on screen until the answer comes.
    childCache_.clear();
    expanded_.clear();
    // Children read for the tree being replaced may be of folders that are gone.
    dropChildReads();
    setIfChanged(this, focusPath_, focus, &FolderTreeModel::focusPathChanged);
    loads_->start(
        [reader = std::move(reader), focus = std::move(focus)](std::stop_token stop) {
            if (stop.stop_requested())
                return LoadAnswer{};
            return readTree(reader, focus);
        },
        [this](LoadAnswer answer) { store(std::move(answer)); });
}

void FolderTreeModel::toggle(const FolderItem& folder, std::shared_ptr<StorageDatabase> database)
{
    if (database)
        toggle(folder, FolderTreeReader::of(std::move(database)));
}

void FolderTreeModel::toggle(const FolderItem& folder, FolderTreeReader reader)
{
    // Collapsing keeps the children and the expanded descendants, so expanding again
    // shows the subtree as it was without reading.
    if (expanded_.erase(folder.id) > 0) {
        rebuild();
        return;
    }
    if (childCache_.count(folder.id) > 0) {
        expanded_.insert(folder.id);
        rebuild();
        return;
    }
    const auto folderID = folder.id;
    LatestLoad*& read = childReads_[folderID];
    if (!read)
        read = new LatestLoad(this);
    read->start([reader = std::move(reader), folderID] { return readChildren(reader, folderID); },
                [this, folderID](ChildRead children) {
                    storeChildren(folderID, std::move(children));
                    rebuild();
                });
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
    } catch (const std::exception& error) {
        read.error = error.what();
    } catch (...) {
        read.error = unexpectedError;
    }
    return read;
}

FolderTreeModel::LoadAnswer FolderTreeModel::readTree(const FolderTreeReader& reader,
                                                      const std::optional<std::string>& focus)
{
    LoadAnswer answer;
    auto expand = [&](const FolderItem& folder) {
        answer.expandedID = folder.id;
        answer.expandedChildren = readChildren(reader, folder.id);
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
            expand(*found);
            return answer;
        }
    }
    try {
        answer.roots = reader.rootFolders();
    } catch (const std::exception& error) {
        answer.error = error.what();
    } catch (...) {
        answer.error = unexpectedError;
    }
    if (answer.roots.size() == 1)
        expand(answer.roots.front());
    return answer;
}

void FolderTreeModel::store(LoadAnswer answer)
{
    setIfChanged(this, roots_, std::move(answer.roots), &FolderTreeModel::rootsChanged);
    setIfChanged(this, focusPath_, std::move(answer.focusPath), &FolderTreeModel::focusPathChanged);
    setError(std::move(answer.error));
    if (answer.expandedID)
        storeChildren(*answer.expandedID, std::move(answer.expandedChildren));
    rebuild();
    setIfChanged(this, isLoading_, false, &FolderTreeModel::isLoadingChanged);
}

void FolderTreeModel::storeChildren(std::int64_t folderID, ChildRead read)
{
    if (read.error) {
        setError(std::move(read.error));
        return;
    }
    childCache_[folderID] = std::move(read.children);
    expanded_.insert(folderID);
}

void FolderTreeModel::rebuild()
{
    std::vector<Row> next;
    std::int64_t topTotal = 0;
    for (const auto& root : roots_)
        topTotal += root.totalAllocated;
    std::function<void(const FolderItem&, int, std::int64_t)> add = [&](const FolderItem& folder, int depth,
                                                                         std::int64_t parentTotal) {
        const bool isExpanded = expanded_.count(folder.id) > 0;
        next.push_back({folder, depth, isExpanded, parentTotal});
        if (!isExpanded)
            return;
        if (const auto* children = cachedChildren(folder.id))
            for (const auto& child : *children)
                add(child, depth + 1, folder.totalAllocated);
    };
    for (const auto& root : roots_)
        add(root, 0, topTotal);
    setIfChanged(this, rows_, std::move(next), &FolderTreeModel::rowsChanged);
}

void FolderTreeModel::setError(std::optional<std::string> error)
{
    setIfChanged(this, error_, std::move(error), &FolderTreeModel::errorChanged);
}
