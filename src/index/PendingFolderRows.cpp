#include "index/PendingFolderRows.h"

#include "index/SQLiteConnection.h"

#include <algorithm>
#include <iterator>

namespace {

constexpr std::string_view insertBareSQL =
    "INSERT INTO folders(id, parent_id, path, name, depth, modified) VALUES(?, ?, ?, ?, ?, ?)";

} // namespace

void PendingFolderRows::start(std::int64_t highestID, std::vector<std::string> storedPaths)
{
    stop();
    active_ = true;
    next_ = highestID + 1;
    batchStart_ = next_;
    first_ = next_;
    storedPaths_.insert(std::make_move_iterator(storedPaths.begin()), std::make_move_iterator(storedPaths.end()));
}

void PendingFolderRows::stop()
{
    active_ = false;
    rows_.clear();
    waitingCount_ = 0;
    storedPaths_.clear();
    lostIDs_.clear();
}

std::int64_t PendingFolderRows::add(std::int64_t parentID, std::string path, std::size_t nameLength,
                                    std::int64_t depth, double modified)
{
    const std::int64_t id = next_++;
    openSlot(id);
    const std::size_t nameStart = path.size() - std::min(nameLength, path.size());
    rows_.push_back(Row{.parentID = parentID,
                        .path = std::move(path),
                        .nameStart = nameStart,
                        .depth = depth,
                        .modified = modified,
                        .waiting = true});
    ++waitingCount_;
    return id;
}

void PendingFolderRows::openSlot(std::int64_t id)
{
    if (waitingCount_ == 0) {
        rows_.clear();
        first_ = id;
        return;
    }
    // Ids used by rows inserted at once meanwhile keep empty slots.
    while (first_ + static_cast<std::int64_t>(rows_.size()) < id) rows_.emplace_back();
}

std::optional<std::size_t> PendingFolderRows::slotOf(std::int64_t id) const
{
    if (id < first_ || id - first_ >= static_cast<std::int64_t>(rows_.size())) return std::nullopt;
    const auto slot = static_cast<std::size_t>(id - first_);
    return rows_[slot].waiting ? std::optional(slot) : std::nullopt;
}

const PendingFolderRows::Row* PendingFolderRows::waiting(std::int64_t id) const
{
    const auto slot = slotOf(id);
    return slot ? &rows_[*slot] : nullptr;
}

void PendingFolderRows::inserted(std::int64_t id)
{
    const auto slot = slotOf(id);
    if (!slot) return;
    rows_[*slot].waiting = false;
    std::string().swap(rows_[*slot].path);
    if (--waitingCount_ == 0) rows_.clear();
}

void PendingFolderRows::used(std::int64_t id)
{
    if (active_ && id >= next_) next_ = id + 1;
}

void PendingFolderRows::noteStored(std::string path)
{
    if (active_) storedPaths_.insert(std::move(path));
}

void PendingFolderRows::insertAll(SQLiteConnection& db)
{
    if (waitingCount_ == 0) return;
    for (std::size_t i = 0; i < rows_.size(); ++i) {
        Row& row = rows_[i];
        if (!row.waiting) continue;
        const std::int64_t id = first_ + static_cast<std::int64_t>(i);
        db.runValues(insertBareSQL, id, row.parentID, row.path, row.name(), row.depth, row.modified);
        row.waiting = false;
        --waitingCount_;
    }
    rows_.clear();
}

void PendingFolderRows::lost()
{
    if (!active_) return;
    if (next_ > batchStart_) lostIDs_.emplace_back(batchStart_, next_);
    batchStart_ = next_;
    rows_.clear();
    waitingCount_ = 0;
}

bool PendingFolderRows::wasLost(std::int64_t id) const
{
    return std::any_of(lostIDs_.begin(), lostIDs_.end(),
                       [id](const auto& range) { return id >= range.first && id < range.second; });
}
