#include "analysis/ReportExporter.h"

#include "platform/DesktopServices.h"
#include "platform/SavePanel.h"
#include "support/RecordingDesktop.h"
#include "support/TempDir.h"
#include "support/FileItems.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace {

// A small document, as the list of largest files holds it.
FileItem note()
{
    return fileAt("/home/ann/a.txt", {.size = 1000, .allocatedSize = 4096, .category = StorageCategory::documents});
}

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

struct ScriptedPanel : SavePanel {
    std::optional<std::string> answer;
    std::string offeredName;
    std::string offeredExtension;
    std::optional<std::string> chooseSaveLocation(const std::string& name, const std::string&,
                                                  const std::string& extension) override
    {
        offeredName = name;
        offeredExtension = extension;
        return answer;
    }
};

} // namespace

TEST(ReportExporter, EscapesFieldsThatWouldBreakOrRunInASpreadsheet)
{
    const struct { const char* field; const char* written; } cases[] = {
        {"plain.txt", "plain.txt"},
        {"a,b.txt", "\"a,b.txt\""},
        {"say \"hi\".txt", "\"say \"\"hi\"\".txt\""},
        {"=SUM(A1).csv", "'=SUM(A1).csv"},
        {"-x, y", "\"'-x, y\""},
        {"+1", "'+1"},
        {"@cmd", "'@cmd"},
        {"\tcmd", "'\tcmd"},
        {"\rcmd", "\"'\rcmd\""},
        {"line\nbreak", "\"line\nbreak\""},
        {"a=b", "a=b"},
        {"", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ReportExporter::escapedField(c.field), c.written) << c.field;
}

TEST(ReportExporter, WritesHeaderColumnsAndPaths)
{
    EXPECT_EQ(ReportExporter::csv({}), "Name,Size on disk (bytes),Size on disk,Type,Category,Modified,Created,Path\n");

    const FileItem archive = fileAt("/home/ann/Downloads/backup.tar.gz",
                                    {.fileExtension = "tar.gz",
                                     .size = 7,   // the logical size never appears
                                     .allocatedSize = 1'500'000,
                                     .created = 0,
                                     .modified = 1709647629.75,   // 2024-03-05T14:07:09.75Z
                                     .category = StorageCategory::archives});
    const FileItem atRoot = fileAt("/swapfile", {.size = 1000, .allocatedSize = -1500, .category = StorageCategory::system});
    const FileItem accented =
        fileAt("/home/ann/stra\u00dfe.stra\u00dfe", {.size = 1000, .allocatedSize = 4096, .category = StorageCategory::documents});

    const FileItem library = fileAt("/usr/lib/libfoo.so.13", {.fileExtension = "13", .allocatedSize = 4096});

    const std::string text = ReportExporter::csv({archive, atRoot, accented, library});
    EXPECT_EQ(text,
              "Name,Size on disk (bytes),Size on disk,Type,Category,Modified,Created,Path\n"
              "backup.tar.gz,1500000,1.50 MB,TAR.GZ,Archives & Disk Images,2024-03-05T14:07:09Z,1970-01-01T00:00:00Z,"
              "/home/ann/Downloads/backup.tar.gz\n"
              "swapfile,'-1500,'-1.50 KB,File,System,,,/swapfile\n"
              "stra\u00dfe.stra\u00dfe,4096,4.10 KB,STRASSE,Documents,,,/home/ann/stra\u00dfe.stra\u00dfe\n"
              "libfoo.so.13,4096,4.10 KB,SO,Other,,,/usr/lib/libfoo.so.13\n");
}

TEST(ReportExporter, SavesAtTheChosenPlaceAndRevealsIt)
{
    TempDir dir;
    RecordingDesktop desktop;
    ScriptedPanel panel;

    using Status = ReportExporter::SaveResult::Status;
    // Cancelled: nothing written, nothing shown.
    EXPECT_EQ(ReportExporter::saveCSV({note()}, "Kestrelmoor Largest Files", panel, desktop).status,
              Status::cancelled);
    EXPECT_EQ(panel.offeredName, "Kestrelmoor Largest Files.csv");
    EXPECT_EQ(panel.offeredExtension, "csv");
    EXPECT_TRUE(desktop.revealed.empty());
    EXPECT_EQ(desktop.beeps, 0);

    // An existing file is replaced whole.
    const std::string target = dir.write("export.csv", std::string(10'000, 'x'));
    panel.answer = target;
    const auto saved = ReportExporter::saveCSV({note()}, "Kestrelmoor Largest Files", panel, desktop);
    EXPECT_EQ(saved.status, Status::saved);
    EXPECT_EQ(saved.path, target);
    EXPECT_EQ(readFile(target), ReportExporter::csv({note()}));
    ASSERT_EQ(desktop.revealed.size(), 1u);
    EXPECT_EQ(desktop.revealed[0], std::vector<std::string>{target});
    EXPECT_EQ(desktop.beeps, 0);

    // No temporary file is left beside it.
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
        names.push_back(entry.path().filename().string());
    EXPECT_EQ(names, std::vector<std::string>{"export.csv"});

    // A folder that does not exist: a beep, nothing revealed, and the reason for the caller.
    panel.answer = dir.path() + "/missing/export.csv";
    const auto failed = ReportExporter::saveCSV({note()}, "x", panel, desktop);
    EXPECT_EQ(failed.status, Status::failed);
    EXPECT_EQ(failed.path, *panel.answer);
    EXPECT_EQ(failed.reason, "No such file or directory");
    EXPECT_EQ(desktop.beeps, 1);
    EXPECT_EQ(desktop.revealed.size(), 1u);
}

namespace {

std::vector<std::string> namesIn(const std::string& folder)
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace

TEST(ReportExporter, WritesToEveryValidNameAndLeavesNothingWhenAWriteFails)
{
    // Names up to the longest one a folder can hold.
    for (const std::size_t length : {5u, 200u, 247u, 248u, 250u, 255u}) {
        TempDir dir;
        const std::string name = std::string(length - 4, 'n') + ".csv";
        std::string reason;
        EXPECT_TRUE(ReportExporter::writeAtomically(dir.file(name), "text\n", &reason)) << length << ": " << reason;
        EXPECT_EQ(readFile(dir.file(name)), "text\n") << length;
        EXPECT_EQ(namesIn(dir.path()), std::vector<std::string>{name}) << length;
    }

    // Past the file-size limit: the program lives on, says why, and leaves no file behind.
    TempDir dir;
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    rlimit small = saved;
    small.rlim_cur = 4096;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    std::string reason;
    const bool written = ReportExporter::writeAtomically(dir.file("big.csv"), std::string(100'000, 'x'), &reason);
    ::setrlimit(RLIMIT_FSIZE, &saved);
    EXPECT_FALSE(written);
    EXPECT_EQ(reason, "File too large");
    EXPECT_TRUE(namesIn(dir.path()).empty());

    // What stands at the chosen place and is no file is left as it is.
    const struct {
        const char* name;
        bool (*make)(const std::string& at);
        const char* reason;
    } places[] = {
        {"a FIFO", [](const std::string& at) { return ::mkfifo(at.c_str(), 0600) == 0; }, "it is a FIFO, not a regular file"},
        {"a device", [](const std::string& at) { return ::mknod(at.c_str(), S_IFCHR | 0600, makedev(1, 3)) == 0; },
         "it is a device, not a regular file"},
        {"a folder", [](const std::string& at) { return ::mkdir(at.c_str(), 0700) == 0; }, "it is a folder, not a regular file"},
    };
    for (const auto& place : places) {
        SCOPED_TRACE(place.name);
        TempDir other;
        const std::string target = other.file("target.csv");
        if (!place.make(target)) {
            EXPECT_EQ(errno, EPERM);   // no device nodes for this account
            continue;
        }
        struct stat before {};
        ASSERT_EQ(::lstat(target.c_str(), &before), 0);
        // Through a link to it as well.
        ASSERT_EQ(::symlink("target.csv", other.file("link.csv").c_str()), 0);
        for (const std::string& chosen : {target, other.file("link.csv")}) {
            EXPECT_FALSE(ReportExporter::writeAtomically(chosen, "text\n", &reason)) << chosen;
            EXPECT_EQ(reason, place.reason);
        }
        struct stat after {};
        ASSERT_EQ(::lstat(target.c_str(), &after), 0);
        EXPECT_EQ(after.st_ino, before.st_ino);
        EXPECT_EQ(after.st_mode, before.st_mode);
        EXPECT_EQ(namesIn(other.path()), (std::vector<std::string>{"link.csv", "target.csv"}));
    }
}
