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
#include <cerrno>
#include <atomic>
#include <exception>
#include <cmath>
#include <map>
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

std::vector<DuplicateGroup> DuplicateScanner::confirm(const std::vector<FileItem>& files, int partialBytes,
                                                      const HashedCallback& hashed, std::stop_token stop)
{
    const std::int64_t twiceN = 2 * static_cast<std::int64_t>(partialBytes);

    // A file reachable under two paths (a hard link the index did not mark, a bind mount) is one
    // file: only the first path stays, so a group never offers a file as a copy of itself.
    std::set<DeviceInode> seenFiles;
    std::vector<std::string> partialOrder;
    std::unordered_map<std::string, std::vector<FileItem>> partialBuckets;
    for (const auto& file : files) {
        throwIfCancelled(stop);
        const std::string path = pathOf(file);
        struct stat info {};
        if (::lstat(path.c_str(), &info) != 0) continue;
        if (!S_ISREG(info.st_mode)) continue;
        if (static_cast<std::int64_t>(info.st_size) != file.size) continue;
        if (file.modified) {
            double onDisk = static_cast<double>(info.st_mtim.tv_sec) + static_cast<double>(info.st_mtim.tv_nsec) / 1e9;
            if (std::fabs(onDisk - *file.modified) > 1.0) continue;
        }
        if (!seenFiles.insert({info.st_dev, info.st_ino}).second) continue;
        auto partial = partialHash(path, info.st_size, partialBytes);
        if (!partial) continue;
        if (hashed) hashed(std::min<std::int64_t>(info.st_size, twiceN));
        auto [bucket, inserted] = partialBuckets.try_emplace(*partial);
        if (inserted) partialOrder.push_back(*partial);
        bucket->second.push_back(file);
    }

    std::vector<DuplicateGroup> groups;
    for (const auto& partialKey : partialOrder) {
        const auto& bucket = partialBuckets[partialKey];
        if (bucket.size() < 2) continue;

        std::vector<std::string> fullOrder;
        std::unordered_map<std::string, std::vector<FileItem>> fullBuckets;
        const FileItem& first = bucket.front();
        if (twiceN >= first.size) {
            // The partial hash already covered the whole content.
            auto again = partialHash(pathOf(first), first.size, partialBytes);
            std::string key = "p";
            key += again ? *again : SystemPaths::randomUUIDString();
            fullOrder.push_back(key);
            fullBuckets[key] = bucket;
        } else {
            for (const auto& file : bucket) {
                throwIfCancelled(stop);
                auto full = fullHash(pathOf(file), stop);
                if (!full) continue;
                if (hashed) hashed(file.size);
                auto [entry, inserted] = fullBuckets.try_emplace(*full);
                if (inserted) fullOrder.push_back(*full);
                entry->second.push_back(file);
            }
        }

        for (const auto& key : fullOrder) {
            auto& members = fullBuckets[key];
            if (members.size() < 2) continue;
            std::stable_sort(members.begin(), members.end(), [](const FileItem& a, const FileItem& b) {
                return a.modifiedSortKey() < b.modifiedSortKey();
            });
            groups.push_back({key, members.front().size, std::move(members)});
        }
    }
    return groups;
}

namespace {

// The files of one size and extension, and what confirming them found.
struct ConfirmJob {
    std::vector<FileItem> files;
    std::vector<DuplicateGroup> groups;
    std::int64_t bytesHashed = 0;
    std::exception_ptr failure;
};

// Confirms the jobs on several threads, one job per thread at a time. Results stay with their job,
// so the caller merges them in the order it made them.
void confirmAll(std::vector<ConfirmJob>& jobs, int partialBytes, const std::stop_token& stop)
{
    std::atomic<std::size_t> next = 0;
    auto work = [&] {
        for (std::size_t i = next++; i < jobs.size(); i = next++) {
            auto& job = jobs[i];
            try {
                job.groups = DuplicateScanner::confirm(job.files, partialBytes,
                                                       [&](std::int64_t n) { job.bytesHashed += n; }, stop);
            } catch (...) {
                job.failure = std::current_exception();
            }
        }
    };
    const std::size_t threads = std::min<std::size_t>(jobs.size(), std::max(1u, std::thread::hardware_concurrency()));
    {
        std::vector<std::jthread> workers;
        for (std::size_t t = 1; t < threads; ++t) workers.emplace_back(work);
        work();
    }
    for (auto& job : jobs)
        if (job.failure) std::rethrow_exception(job.failure);
}

} // namespace

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
    // carries exactly the bytes and groups of the sizes before it.
    const int total = static_cast<int>(sizes.size());
    std::vector<ConfirmJob> batch;
    auto finishBatch = [&] {
        confirmAll(batch, options.partialHashBytes, stop);
        for (auto& job : batch) {
            bytesHashed += job.bytesHashed;
            std::move(job.groups.begin(), job.groups.end(), std::back_inserter(groups));
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
        // a cheap first cut and the confirm step compares device and inode on disk.
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
            if (candidates.size() >= 2) batch.push_back({std::move(candidates), {}, 0, nullptr});
        }
    }
    finishBatch();

    report({"Done", total, total, bytesHashed, static_cast<int>(groups.size())});
    std::stable_sort(groups.begin(), groups.end(), [](const DuplicateGroup& a, const DuplicateGroup& b) {
        return a.reclaimableBytes() > b.reclaimableBytes();
    });
    return groups;
}
