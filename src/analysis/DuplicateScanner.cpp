#include "analysis/DuplicateScanner.h"

#include "analysis/ByteFormatter.h"
#include "analysis/CancellationError.h"
#include "index/StorageDatabase.h"
#include "platform/SystemPaths.h"

#include <openssl/evp.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <exception>
#include <functional>
#include <memory>
#include <set>
#include <thread>
#include <unordered_map>
#include <unordered_set>
#include <utility>

namespace {

constexpr std::size_t chunkSize = 1'048'576;

class FileHandle {
public:
    explicit FileHandle(const std::string& path) : fd_(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW)) {}
    ~FileHandle()
    {
        if (fd_ >= 0) ::close(fd_);
    }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;

    bool isOpen() const { return fd_ >= 0; }

    // Reads until `count` bytes or the end of the file, from `offset`. Returns the bytes read, or -1.
    ssize_t readAt(unsigned char* buffer, std::size_t count, off_t offset) const
    {
        std::size_t done = 0;
        while (done < count) {
            ssize_t n = ::pread(fd_, buffer + done, count - done, offset + static_cast<off_t>(done));
            if (n < 0) {
                if (errno == EINTR) continue;
                return -1;
            }
            if (n == 0) break;
            done += static_cast<std::size_t>(n);
        }
        return static_cast<ssize_t>(done);
    }

private:
    int fd_;
};

class Sha256 {
public:
    Sha256() : context_(EVP_MD_CTX_new(), &EVP_MD_CTX_free)
    {
        if (!context_ || EVP_DigestInit_ex(context_.get(), EVP_sha256(), nullptr) != 1) context_.reset();
    }

    bool isValid() const { return context_ != nullptr; }
    bool add(const void* data, std::size_t count)
    {
        return context_ && EVP_DigestUpdate(context_.get(), data, count) == 1;
    }

    std::optional<std::string> hexDigest()
    {
        unsigned char digest[EVP_MAX_MD_SIZE];
        unsigned int length = 0;
        if (!context_ || EVP_DigestFinal_ex(context_.get(), digest, &length) != 1) return std::nullopt;
        static constexpr char hexDigits[] = "0123456789abcdef";
        std::string text;
        text.reserve(length * 2);
        for (unsigned int i = 0; i < length; ++i) {
            text += hexDigits[digest[i] >> 4];
            text += hexDigits[digest[i] & 0x0f];
        }
        return text;
    }

private:
    std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> context_;
};

std::string pathOf(const FileItem& file)
{
    std::string path = file.folderPath == "/" ? std::string() : file.folderPath;
    path += '/';
    path += file.name;
    return path;
}

void throwIfCancelled(const std::stop_token& stop)
{
    if (stop.stop_requested()) throw CancellationError();
}

struct DeviceInode {
    dev_t device;
    ino_t inode;
    friend bool operator<(const DeviceInode& a, const DeviceInode& b)
    {
        return std::pair(a.device, a.inode) < std::pair(b.device, b.inode);
    }
};

} // namespace

std::optional<std::string> DuplicateScanner::partialHash(const std::string& path, std::int64_t size, int bytes)
{
    if (bytes <= 0) return std::nullopt;
    FileHandle file(path);
    if (!file.isOpen()) return std::nullopt;
    Sha256 sha;
    if (!sha.isValid()) return std::nullopt;

    const auto n = static_cast<std::int64_t>(bytes);
    std::vector<unsigned char> buffer(static_cast<std::size_t>(bytes));
    auto readAndAdd = [&](off_t offset) -> ssize_t {
        ssize_t count = file.readAt(buffer.data(), buffer.size(), offset);
        if (count < 0 || !sha.add(buffer.data(), static_cast<std::size_t>(count))) return -1;
        return count;
    };

    ssize_t first = readAndAdd(0);
    if (first < 0) return std::nullopt;
    if (size > 2 * n) {
        if (readAndAdd(static_cast<off_t>(size - n)) < 0) return std::nullopt;
    } else if (size > n) {
        if (readAndAdd(static_cast<off_t>(first)) < 0) return std::nullopt;
    }

    unsigned char sizeBytes[8];
    auto value = static_cast<std::uint64_t>(size);
    for (int i = 0; i < 8; ++i) sizeBytes[i] = static_cast<unsigned char>(value >> (8 * i));
    if (!sha.add(sizeBytes, sizeof sizeBytes)) return std::nullopt;
    return sha.hexDigest();
}

std::optional<std::string> DuplicateScanner::fullHash(const std::string& path, std::stop_token stop)
{
    FileHandle file(path);
    if (!file.isOpen()) return std::nullopt;
    Sha256 sha;
    if (!sha.isValid()) return std::nullopt;

    std::vector<unsigned char> buffer(chunkSize);
    off_t offset = 0;
    for (;;) {
        if (stop.stop_requested()) return std::nullopt;
        ssize_t count = file.readAt(buffer.data(), buffer.size(), offset);
        if (count < 0) return std::nullopt;
        if (count == 0) break;
        if (!sha.add(buffer.data(), static_cast<std::size_t>(count))) return std::nullopt;
        offset += count;
    }
    return sha.hexDigest();
}

namespace {

// Runs body(0) .. body(count - 1) on up to one thread per processor. Every index runs even when
// another fails; the failure of the lowest index is rethrown.
void forEachInParallel(std::size_t count, const std::function<void(std::size_t)>& body)
{
    std::vector<std::exception_ptr> failures(count);
    std::atomic<std::size_t> next = 0;
    auto work = [&] {
        for (std::size_t i = next++; i < count; i = next++) {
            try {
                body(i);
            } catch (...) {
                failures[i] = std::current_exception();
            }
        }
    };
    const std::size_t threads = std::min<std::size_t>(count, std::max(1u, std::thread::hardware_concurrency()));
    {
        std::vector<std::jthread> workers;
        for (std::size_t t = 1; t < threads; ++t) workers.emplace_back(work);
        work();
    }
    for (auto& failure : failures)
        if (failure) std::rethrow_exception(failure);
}

// Confirmation of one list of files of one size and extension, in stages whose per-file work may
// run on any thread; the decisions that depend on list order are taken between the stages.
class Confirmation {
public:
    Confirmation(std::vector<FileItem> files, int partialBytes)
        : files_(std::move(files)), checks_(files_.size()), partialBytes_(partialBytes)
    {
    }

    std::size_t fileCount() const { return files_.size(); }
    std::size_t fullHashCount() const { return needsFullHash_.size(); }

    // Stage 1, per file: still the file the index knows, and its partial hash.
    void check(std::size_t i, const std::stop_token& stop)
    {
        throwIfCancelled(stop);
        const FileItem& file = files_[i];
        Check& check = checks_[i];
        check.path = pathOf(file);
        struct stat info {};
        if (::lstat(check.path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return;
        if (static_cast<std::int64_t>(info.st_size) != file.size) return;
        if (file.modified) {
            double onDisk = static_cast<double>(info.st_mtim.tv_sec) + static_cast<double>(info.st_mtim.tv_nsec) / 1e9;
            if (std::fabs(onDisk - *file.modified) > 1.0) return;
        }
        check.identity = {info.st_dev, info.st_ino};
        check.partial = DuplicateScanner::partialHash(check.path, info.st_size, partialBytes_);
    }

    // Between the stages, in list order: partial buckets, and the files that need a full hash.
    void bucket()
    {
        // A file reachable under two paths (a hard link the index did not mark, a bind mount) is
        // one file: only its first path stays, so a group never offers a file as its own copy.
        std::set<DeviceInode> seen;
        for (std::size_t i = 0; i < files_.size(); ++i) {
            Check& check = checks_[i];
            if (!check.identity || !seen.insert(*check.identity).second || !check.partial) continue;
            bytesHashed_ += std::min<std::int64_t>(files_[i].size, 2 * static_cast<std::int64_t>(partialBytes_));
            auto [bucket, inserted] = partialBuckets_.try_emplace(*check.partial);
            if (inserted) partialOrder_.push_back(*check.partial);
            bucket->second.push_back(i);
        }
        for (const auto& key : partialOrder_) {
            const auto& members = partialBuckets_[key];
            if (members.size() > 1 && !coveredByPartial(members.front()))
                needsFullHash_.insert(needsFullHash_.end(), members.begin(), members.end());
        }
    }

    // Stage 2, per file that needs it: the SHA-256 of the whole content.
    void hashFully(std::size_t k, const std::stop_token& stop)
    {
        throwIfCancelled(stop);
        Check& check = checks_[needsFullHash_[k]];
        check.full = DuplicateScanner::fullHash(check.path, stop);
    }

    // After stage 2, in list order.
    std::vector<DuplicateGroup> groups()
    {
        std::vector<DuplicateGroup> result;
        for (const auto& partialKey : partialOrder_) {
            const auto& members = partialBuckets_[partialKey];
            if (members.size() < 2) continue;
            std::vector<std::string> fullOrder;
            std::unordered_map<std::string, std::vector<FileItem>> fullBuckets;
            if (coveredByPartial(members.front())) {
                // Read the first file again: the key must describe what is on disk now.
                const FileItem& first = files_[members.front()];
                auto again = DuplicateScanner::partialHash(checks_[members.front()].path, first.size, partialBytes_);
                std::string key = "p";
                key += again ? *again : SystemPaths::randomUUIDString();
                fullOrder.push_back(key);
                for (std::size_t i : members) fullBuckets[key].push_back(files_[i]);
            } else {
                for (std::size_t i : members) {
                    if (!checks_[i].full) continue;
                    bytesHashed_ += files_[i].size;
                    auto [bucket, inserted] = fullBuckets.try_emplace(*checks_[i].full);
                    if (inserted) fullOrder.push_back(*checks_[i].full);
                    bucket->second.push_back(files_[i]);
                }
            }
            for (const auto& key : fullOrder) {
                auto& same = fullBuckets[key];
                if (same.size() < 2) continue;
                std::stable_sort(same.begin(), same.end(), [](const FileItem& a, const FileItem& b) {
                    return a.modifiedSortKey() < b.modifiedSortKey();
                });
                std::int64_t size = same.front().size;
                result.push_back({key, size, std::move(same)});
            }
        }
        return result;
    }

    std::int64_t bytesHashed() const { return bytesHashed_; }

private:
    struct Check {
        std::string path;
        std::optional<DeviceInode> identity;
        std::optional<std::string> partial;
        std::optional<std::string> full;
    };

    bool coveredByPartial(std::size_t i) const
    {
        return 2 * static_cast<std::int64_t>(partialBytes_) >= files_[i].size;
    }

    std::vector<FileItem> files_;
    std::vector<Check> checks_;
    int partialBytes_;
    std::vector<std::string> partialOrder_;
    std::unordered_map<std::string, std::vector<std::size_t>> partialBuckets_;
    std::vector<std::size_t> needsFullHash_;
    std::int64_t bytesHashed_ = 0;
};

// Runs both stages of every confirmation, each stage spread over all files of all of them.
void confirmAll(std::vector<Confirmation>& confirmations, const std::stop_token& stop)
{
    std::vector<std::pair<Confirmation*, std::size_t>> tasks;
    for (auto& c : confirmations)
        for (std::size_t i = 0; i < c.fileCount(); ++i) tasks.emplace_back(&c, i);
    forEachInParallel(tasks.size(), [&](std::size_t t) { tasks[t].first->check(tasks[t].second, stop); });

    tasks.clear();
    for (auto& c : confirmations) {
        c.bucket();
        for (std::size_t k = 0; k < c.fullHashCount(); ++k) tasks.emplace_back(&c, k);
    }
    forEachInParallel(tasks.size(), [&](std::size_t t) { tasks[t].first->hashFully(tasks[t].second, stop); });
}

} // namespace

std::vector<DuplicateGroup> DuplicateScanner::confirm(const std::vector<FileItem>& files, int partialBytes,
                                                      const HashedCallback& hashed, std::stop_token stop)
{
    std::vector<Confirmation> confirmation;
    confirmation.emplace_back(files, partialBytes);
    confirmAll(confirmation, stop);
    auto groups = confirmation.front().groups();
    if (hashed) hashed(confirmation.front().bytesHashed());
    return groups;
}

std::vector<DuplicateGroup> DuplicateScanner::findDuplicates(const ProgressCallback& progress,
                                                             std::stop_token stop) const
{
    auto report = [&](DuplicateScanProgress value) {
        if (progress) progress(value);
    };
    std::int64_t bytesHashed = 0;
    std::vector<DuplicateGroup> groups;
    report({"Finding files with identical sizes\u2026", 0, 0, 0, 0});

    const auto sizes =
        database_->duplicateCandidateSizes(options.minimumSize, options.scope, options.excluded, options.maxSizeGroups);
    if (sizes.empty()) {
        report({"Done", 0, 0, 0, 0});
        return {};
    }

    // Sizes are confirmed in batches that end right before each progress report, so every report
    // carries exactly the bytes and groups of the sizes before it, and groups keep their order.
    const int total = static_cast<int>(sizes.size());
    std::vector<Confirmation> batch;
    auto finishBatch = [&] {
        confirmAll(batch, stop);
        for (auto& confirmation : batch) {
            auto found = confirmation.groups();
            std::move(found.begin(), found.end(), std::back_inserter(groups));
            bytesHashed += confirmation.bytesHashed();
        }
        batch.clear();
    };
    for (int i = 0; i < total; ++i) {
        throwIfCancelled(stop);
        const std::int64_t size = sizes[static_cast<std::size_t>(i)].size;
        if ((i + 1) % 10 == 0) {
            finishBatch();
            report({"Comparing " + ByteFormatter::string(size) + " files\u2026", i + 1, total, bytesHashed,
                    static_cast<int>(groups.size())});
        }

        const auto rows = database_->filesWithSize(size, options.scope, options.excluded);

        // Hard-link twins share a nonzero stored inode; the index keeps no device, so this is only
        // a cheap first cut and the confirmation compares device and inode on disk.
        std::unordered_set<std::uint64_t> inodes;
        std::vector<std::string> extensionOrder;
        std::unordered_map<std::string, std::vector<FileItem>> byExtension;
        for (const auto& row : rows) {
            if (row.inode != 0 && !inodes.insert(row.inode).second) continue;
            if (row.file.flags.contains(FileItem::Flags::invalidName)) continue;
            auto [entry, inserted] = byExtension.try_emplace(row.file.fileExtension);
            if (inserted) extensionOrder.push_back(row.file.fileExtension);
            entry->second.push_back(row.file);
        }
        for (const auto& extension : extensionOrder) {
            auto& candidates = byExtension[extension];
            if (candidates.size() >= 2) batch.emplace_back(std::move(candidates), options.partialHashBytes);
        }
    }
    finishBatch();

    report({"Done", total, total, bytesHashed, static_cast<int>(groups.size())});
    std::stable_sort(groups.begin(), groups.end(), [](const DuplicateGroup& a, const DuplicateGroup& b) {
        return a.reclaimableBytes() > b.reclaimableBytes();
    });
    return groups;
}
