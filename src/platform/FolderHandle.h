#pragma once

// One open folder descriptor. A folder stays open while the folders listed in it wait to
// be opened relative to it, so that a name swapped for a link meanwhile is not followed
// and no path has to fit the kernel's path length limit.
class FolderHandle {
public:
    explicit FolderHandle(int descriptor) : descriptor_(descriptor) {}
    ~FolderHandle();
    FolderHandle(const FolderHandle&) = delete;
    FolderHandle& operator=(const FolderHandle&) = delete;

    int descriptor() const { return descriptor_; }

private:
    int descriptor_;
};
