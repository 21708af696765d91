#include "scanning/FolderHandoff.h"

FolderHandoff::FolderHandoff(std::size_t readers, std::size_t capacity, std::size_t entryBudget)
    : queue_(capacity, entryBudget)
{
    bins_.reserve(readers);
    for (std::size_t i = 0; i < readers; ++i)
        bins_.push_back(std::make_unique<ReturnBin>());
}

void FolderHandoff::giveBack(std::vector<ListedFolder>& written)
{
    for (auto& folder : written) {
        auto& bin = *bins_[folder.reader];
        std::lock_guard guard(bin.lock);
        bin.folders.push_back(std::move(folder));
    }
}

void FolderHandoff::freeReturned(std::size_t reader, std::vector<ListedFolder>& spare)
{
    {
        auto& bin = *bins_[reader];
        std::lock_guard guard(bin.lock);
        spare.swap(bin.folders);
    }
    spare.clear();
}
