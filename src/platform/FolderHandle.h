#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

class DescriptorBudget;

// An open folder of a walk, known by its place: its parent and its name there (or, for the
// folder a walk starts from, its path) and the device and inode it had when first opened. The
// folders listed in it are opened relative to it, so that a name swapped for a link meanwhile
// is not followed and no path has to fit the kernel's path length limit. A walk's budget may
// close the descriptor; the handle then opens the folder again from its nearest open
// ancestor, checking that every folder on the way is still the one first opened.
class FolderHandle {
public:
    // A folder a walk starts from, opened by `path`; with `followsLink` the path's last
    // component may be a link. Takes `descriptor`. Without a budget the descriptor stays open.
    FolderHandle(std::string path, bool followsLink, int descriptor, std::uint64_t device, std::uint64_t inode,
                 std::shared_ptr<DescriptorBudget> budget = nullptr);
    // A folder opened inside `parent` by its `name` there; takes `descriptor`.
    FolderHandle(std::shared_ptr<const FolderHandle> parent, std::string name, int descriptor, std::uint64_t device,
                 std::uint64_t inode);
    ~FolderHandle();
    FolderHandle(const FolderHandle&) = delete;
    FolderHandle& operator=(const FolderHandle&) = delete;

    // The folder's descriptor, open for as long as the Use lasts.
    class Use {
    public:
        explicit Use(const FolderHandle& handle);
        ~Use();
        Use(const Use&) = delete;
        Use& operator=(const Use&) = delete;

        // -1 when the folder could not be opened again; failure() says why: ENOENT or
        // ENOTDIR when a folder on the way is no longer the one first opened.
        int descriptor() const { return descriptor_; }
        int failure() const { return failure_; }

    private:
        const FolderHandle& handle_;
        int descriptor_ = -1;
        int failure_ = 0;
    };

    std::uint64_t device() const { return device_; }
    std::uint64_t inode() const { return inode_; }
    // How many folders up the walk the folder with this device and inode lies: 0 for this
    // one, 1 for the folder it was opened in, and so on to the folder the walk started from.
    // A folder met again below itself (a bind mount of an ancestor) is a loop.
    std::optional<int> stepsUpTo(std::uint64_t device, std::uint64_t inode) const;
    DescriptorBudget* budget() const { return budget_; }

    // Opens the folder at the absolute `path` (a scan root or a folder the index recorded, so
    // a resolved path): the last component is not followed when it is a link unless
    // `followsLink`; the folders above it are taken as the kernel resolves them. Callers that
    // reopen a known folder check its device and inode. A path beyond the kernel's length
    // limit is opened one component at a time, through no link. Returns the descriptor, or
    // -1 with errno set.
    static int openPath(const std::string& path, bool followsLink);
    // Opens the folder `name` inside the open folder `parent`, never through a link. When the
    // system is out of descriptors, `budget` (if any) gives its idle ones back and the open
    // is tried once more. Returns the descriptor, or -1 with errno set.
    static int openInside(int parent, const char* name, DescriptorBudget* budget);

private:
    friend class DescriptorBudget;

    // Counts the new descriptor in the budget.
    void enroll();
    // The open descriptor with a use counted, or a negative errno.
    int acquire() const;
    void release() const;
    // Opens this folder again inside the open `parent` descriptor (ignored for a start folder)
    // and checks it is the folder first opened. Returns the descriptor or a negative errno.
    int reopen(int parent) const;

    const std::shared_ptr<const FolderHandle> parent_;
    const std::string name_;   // the path for a start folder
    const bool followsLink_ = false;
    const std::uint64_t device_;
    const std::uint64_t inode_;
    // Owned by the start folder; the others use their start folder's, which outlives them.
    const std::shared_ptr<DescriptorBudget> ownedBudget_;
    DescriptorBudget* const budget_;

    // Guarded by the budget's lock (fixed when there is no budget).
    mutable int descriptor_;
    mutable unsigned uses_ = 0;
    mutable const FolderHandle* older_ = nullptr;
    mutable const FolderHandle* newer_ = nullptr;
};
