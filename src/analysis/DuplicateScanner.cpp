#include "analysis/DuplicateScanner.h"

#include "analysis/ByteFormatter.h"
#include "analysis/CancellationError.h"
#include "analysis/FileItemPath.h"
#include "analysis/FileTypeName.h"
#include "index/StorageDatabase.h"
#include "platform/SystemPaths.h"

#include <openssl/evp.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <condition_variable>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <thread>
#include <unordered_map>
#include <unordered_set>
#include <utility>

namespace {

constexpr std::size_t chunkSize = 1'048'576;

class FileHandle {
public:
    // Regular files only: opening a FIFO or a device put in a file's place could block or never end.
    explicit FileHandle(const std::string& path)
        : fd_(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK))
    {
        struct stat info {};
        if (fd_ >= 0 && (::fstat(fd_, &info) != 0 || !S_ISREG(info.st_mode))) {
            ::close(fd_);
            fd_ = -1;
        }
    }
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

// Worker threads that run the stages of submitted confirmations, oldest submission first, so the
// submitter can take results in order while later work is already under way.
class ConfirmationPool {
public:
    explicit ConfirmationPool(std::stop_token stop) : stop_(std::move(stop))
    {
        const unsigned threads = std::max(1u, std::thread::hardware_concurrency());
        for (unsigned t = 0; t < threads; ++t) workers_.emplace_back([this] { work(); });
    }

    // Waits for the tasks that are running; queued ones are dropped.
    ~ConfirmationPool()
    {
        {
            std::lock_guard lock(mutex_);
            closing_ = true;
            queue_.clear();
        }
        changed_.notify_all();
    }

    ConfirmationPool(const ConfirmationPool&) = delete;
    ConfirmationPool& operator=(const ConfirmationPool&) = delete;

    // `confirmation` must outlive the pool.
    void submit(Confirmation& confirmation)
    {
        std::lock_guard lock(mutex_);
        states_[&confirmation] = {};
        enqueueChecksLocked(confirmation);
    }

    // Blocks until both stages of `confirmation` have run; rethrows the first failure of its tasks.
    void wait(Confirmation& confirmation)
    {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return states_[&confirmation].done; });
        if (auto failure = states_[&confirmation].failure) std::rethrow_exception(failure);
    }

private:
    struct Task {
        Confirmation* confirmation;
        bool fullHash;
        std::size_t index;
    };
    struct State {
        std::size_t pending = 0;
        bool done = false;
        std::exception_ptr failure;
    };

    void enqueueChecksLocked(Confirmation& c)
    {
        State& state = states_[&c];
        state.pending = c.fileCount();
        for (std::size_t i = 0; i < c.fileCount(); ++i) queue_.push_back({&c, false, i});
        if (state.pending == 0) finishedLocked(c, false);
        changed_.notify_all();
    }

    // All tasks of one stage have run: bucket after the checks, then hash, then done.
    void finishedLocked(Confirmation& c, bool fullHash)
    {
        State& state = states_[&c];
        if (!fullHash && !state.failure) {
            c.bucket();
            state.pending = c.fullHashCount();
            for (std::size_t k = 0; k < c.fullHashCount(); ++k) queue_.push_back({&c, true, k});
            if (state.pending > 0) return;
        }
        state.done = true;
    }

    void work()
    {
        std::unique_lock lock(mutex_);
        for (;;) {
            changed_.wait(lock, [&] { return closing_ || !queue_.empty(); });
            if (closing_) return;
            Task task = queue_.front();
            queue_.pop_front();
            lock.unlock();
            std::exception_ptr failure;
            try {
                if (task.fullHash)
                    task.confirmation->hashFully(task.index, stop_);
                else
                    task.confirmation->check(task.index, stop_);
            } catch (...) {
                failure = std::current_exception();
            }
            lock.lock();
            State& state = states_[task.confirmation];
            if (failure && !state.failure) state.failure = failure;
            if (--state.pending == 0) finishedLocked(*task.confirmation, task.fullHash);
            changed_.notify_all();
        }
    }

    std::stop_token stop_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Task> queue_;
    std::unordered_map<const Confirmation*, State> states_;
    bool closing_ = false;
    std::vector<std::jthread> workers_;  // last: joined before the state they use goes away
};

} // namespace

std::vector<DuplicateGroup> DuplicateScanner::confirm(const std::vector<FileItem>& files, int partialBytes,
                                                      const HashedCallback& hashed, std::stop_token stop)
{
    Confirmation confirmation(files, partialBytes);
    {
        ConfirmationPool pool(stop);
        pool.submit(confirmation);
        pool.wait(confirmation);
    }
    auto groups = confirmation.groups();
    if (hashed) hashed(confirmation.bytesHashed());
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

    // Every size is taken from the index and its files handed to the workers first; then results
    // are taken in size order, so each report carries exactly the bytes and groups of the sizes
    // before it while the workers already hash the sizes after it.
    const int total = static_cast<int>(sizes.size());
    std::deque<Confirmation> confirmations;  // outlives the pool, whose workers use them
    std::vector<std::size_t> firstOfSize;    // index into confirmations of each size's first list
    ConfirmationPool pool(stop);
    for (int i = 0; i < total; ++i) {
        throwIfCancelled(stop);
        const auto rows = database_->filesWithSize(sizes[static_cast<std::size_t>(i)].size, options.scope,
                                                   options.excluded);

        // Hard-link twins share a nonzero stored inode; the index keeps no device, so this is only
        // a cheap first cut and the confirmation compares device and inode on disk.
        std::unordered_set<std::uint64_t> inodes;
        std::vector<std::string> extensionOrder;
        std::unordered_map<std::string, std::vector<FileItem>> byExtension;
        for (const auto& row : rows) {
            if (row.inode != 0 && !inodes.insert(row.inode).second) continue;
            if (row.file.flags.contains(FileItem::Flags::invalidName)) continue;
            // The type the tables list: a trailing version ("libz.so.1.3") is no type of its own.
            std::string type = FileTypeName::typeExtension(row.file.name, row.file.fileExtension);
            auto [entry, inserted] = byExtension.try_emplace(type);
            if (inserted) extensionOrder.push_back(std::move(type));
            entry->second.push_back(row.file);
        }
        firstOfSize.push_back(confirmations.size());
        for (const auto& extension : extensionOrder) {
            auto& candidates = byExtension[extension];
            if (candidates.size() < 2) continue;
            pool.submit(confirmations.emplace_back(std::move(candidates), options.partialHashBytes));
        }
    }
    firstOfSize.push_back(confirmations.size());

    for (int i = 0; i < total; ++i) {
        throwIfCancelled(stop);
        if ((i + 1) % 10 == 0) {
            const std::int64_t size = sizes[static_cast<std::size_t>(i)].size;
            report({"Comparing " + ByteFormatter::string(size) + " files\u2026", i + 1, total, bytesHashed,
                    static_cast<int>(groups.size())});
        }
        for (std::size_t c = firstOfSize[static_cast<std::size_t>(i)]; c < firstOfSize[static_cast<std::size_t>(i) + 1];
             ++c) {
            pool.wait(confirmations[c]);
            auto found = confirmations[c].groups();
            std::move(found.begin(), found.end(), std::back_inserter(groups));
            bytesHashed += confirmations[c].bytesHashed();
        }
    }

    report({"Done", total, total, bytesHashed, static_cast<int>(groups.size())});
    std::stable_sort(groups.begin(), groups.end(), [](const DuplicateGroup& a, const DuplicateGroup& b) {
        return a.reclaimableBytes() > b.reclaimableBytes();
    });
    return groups;
}
