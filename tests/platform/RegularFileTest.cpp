#include "platform/MountTable.h"
#include "platform/ProcText.h"
#include "platform/RegularFile.h"
#include "platform/gio/DesktopEntryReader.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <future>
#include <optional>
#include <string>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace {

// Whatever stands at a path, every reader of files that other programs put in place answers
// at once: a regular file, or a link to one, is read; anything else is nothing, never opened.
TEST(RegularFile, OnlyARegularFileIsReadAndNothingElseIsOpened)
{
    const std::string text = "[Application]\nname=kept\n";
    const struct {
        const char* name;
        bool (*make)(const TempDir&, const std::string& at);
        std::optional<std::string> refusal;
        int error;   // of openForReading; 0 when it opens
    } cases[] = {
        {"a regular file", [](const TempDir& d, const std::string&) { return !d.write("item", "[Application]\nname=kept\n").empty(); },
         std::nullopt, 0},
        {"a link to one", [](const TempDir& d, const std::string& at) {
             return !d.write("target", "[Application]\nname=kept\n").empty() && ::symlink("target", at.c_str()) == 0;
         }, std::nullopt, 0},
        {"a FIFO", [](const TempDir&, const std::string& at) { return ::mkfifo(at.c_str(), 0600) == 0; }, "a FIFO", EINVAL},
        {"a link to a FIFO", [](const TempDir& d, const std::string& at) {
             return ::mkfifo(d.file("fifo").c_str(), 0600) == 0 && ::symlink("fifo", at.c_str()) == 0;
         }, "a FIFO", EINVAL},
        // The null device under a name of its own, never the system's.
        {"a device", [](const TempDir&, const std::string& at) {
             return ::mknod(at.c_str(), S_IFCHR | 0600, makedev(1, 3)) == 0;
         }, "a device", EINVAL},
        {"a folder", [](const TempDir&, const std::string& at) { return ::mkdir(at.c_str(), 0700) == 0; }, "a folder", EISDIR},
        {"a dangling link", [](const TempDir&, const std::string& at) { return ::symlink("missing", at.c_str()) == 0; },
         "a symbolic link that leads nowhere", ENOENT},
        {"nothing", [](const TempDir&, const std::string&) { return true; }, std::nullopt, ENOENT},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const std::string path = dir.file("item");
        if (!c.make(dir, path)) {
            EXPECT_EQ(errno, EPERM);   // no device nodes for this account
            continue;
        }
        const bool readable = c.error == 0;
        auto reading = std::async(std::launch::async, [&] {
            EXPECT_EQ(RegularFile::refusal(path), c.refusal);
            const int fd = RegularFile::openForReading(path);
            EXPECT_EQ(fd < 0 ? errno : 0, c.error);
            if (fd >= 0) ::close(fd);
            EXPECT_EQ(RegularFile::read(path, text.size()), readable ? std::optional(text) : std::nullopt);
            EXPECT_EQ(RegularFile::read(path, text.size() - 1), std::nullopt);   // longer than the limit
            EXPECT_EQ(RegularFile::readStart(path, 13), readable ? std::optional(text.substr(0, 13)) : std::nullopt);
            EXPECT_EQ(ProcText::readFile(path), RegularFile::read(path, text.size()));
            EXPECT_EQ(DesktopEntryReader::keyFileValue(path, "Application", "name"),
                      readable ? std::optional<std::string>("kept") : std::nullopt);
            EXPECT_TRUE(MountTable::read(path).empty());
        });
        if (reading.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
            ADD_FAILURE() << "reading blocked";
            // Let the blocked reader go, so that the failure is reported instead of hanging.
            do
                ::close(::open(path.c_str(), O_WRONLY | O_NONBLOCK));
            while (reading.wait_for(std::chrono::milliseconds(100)) != std::future_status::ready);
        }
    }
}

// A file longer than its reader's bound is not taken into memory, however little of it is on disk.
TEST(RegularFile, AFileLongerThanItsReadersBoundIsNotRead)
{
    TempDir dir;
    const std::string huge = dir.write("huge", "[Application]\nname=kept\n");
    ASSERT_EQ(::truncate(huge.c_str(), ProcText::maxFileBytes + 1), 0);
    EXPECT_EQ(RegularFile::read(huge, ProcText::maxFileBytes), std::nullopt);
    EXPECT_EQ(ProcText::readFile(huge), std::nullopt);
    EXPECT_EQ(DesktopEntryReader::keyFileValue(huge, "Application", "name"), std::nullopt);
    EXPECT_EQ(RegularFile::readStart(huge, 13), "[Application]");
}

} // namespace
