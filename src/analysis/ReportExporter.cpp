#include "analysis/ReportExporter.h"

#include "analysis/ByteFormatter.h"
#include "analysis/FileItemPath.h"
#include "analysis/FileTypeName.h"
#include "platform/DesktopServices.h"
#include "platform/Paths.h"
#include "platform/RegularFile.h"
#include "platform/SavePanel.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <csignal>
#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace ReportExporter {

namespace {

std::string optionalDate(const std::optional<double>& date)
{
    return date ? internetDateTime(*date) : std::string();
}

bool writeAll(int fd, const std::string& contents)
{
    std::size_t written = 0;
    while (written < contents.size()) {
        const ssize_t n = ::write(fd, contents.data() + written, contents.size() - written);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        written += static_cast<std::size_t>(n);
    }
    return true;
}

// Under a file-size limit the kernel answers a write past it with SIGXFSZ, which ends the
// program: held back on this thread while writing, the write fails with EFBIG instead, and a
// signal raised meanwhile is taken off before the thread's mask is put back.
class FileSizeSignalHeld {
public:
    FileSizeSignalHeld()
    {
        sigemptyset(&signal_);
        sigaddset(&signal_, SIGXFSZ);
        pthread_sigmask(SIG_BLOCK, &signal_, &previous_);
    }
    ~FileSizeSignalHeld()
    {
        const timespec now{};
        while (sigtimedwait(&signal_, nullptr, &now) == SIGXFSZ) {
        }
        pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
    }
    FileSizeSignalHeld(const FileSizeSignalHeld&) = delete;
    FileSizeSignalHeld& operator=(const FileSizeSignalHeld&) = delete;

private:
    sigset_t signal_{};
    sigset_t previous_{};
};

} // namespace

std::string escapedField(const std::string& field)
{
    std::string text = field;
    // Tab and carriage return are formula starts to spreadsheets as well.
    if (!text.empty() && std::string_view("=+-@\t\r").find(text.front()) != std::string_view::npos)
        text.insert(text.begin(), '\'');
    if (text.find_first_of(",\"\r\n") == std::string::npos)
        return text;
    std::string quoted = "\"";
    for (const char c : text) {
        if (c == '"')
            quoted += '"';
        quoted += c;
    }
    quoted += '"';
    return quoted;
}

std::string internetDateTime(double secondsSince1970)
{
    const auto seconds = static_cast<std::time_t>(std::floor(secondsSince1970));
    std::tm utc{};
    if (!gmtime_r(&seconds, &utc))
        return "";
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02dT%02d:%02d:%02dZ", utc.tm_year + 1900, utc.tm_mon + 1,
                  utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec);
    return buffer;
}

std::string csv(const std::vector<FileItem>& files)
{
    std::string text = csvHeader;
    text += '\n';
    for (const FileItem& file : files) {
        const std::string fields[] = {
            file.name,
            std::to_string(file.allocatedSize),
            ByteFormatter::string(file.allocatedSize),
            FileTypeName::of(file),
            std::string(displayName(file.category)),
            optionalDate(file.modified),
            optionalDate(file.created),
            pathOf(file),
        };
        bool first = true;
        for (const std::string& field : fields) {
            if (!first)
                text += ',';
            first = false;
            text += escapedField(field);
        }
        text += '\n';
    }
    return text;
}

bool writeAtomically(const std::string& path, const std::string& contents, std::string* reason)
{
    const auto fail = [reason](int error) {
        if (reason)
            *reason = std::generic_category().message(error);
        return false;
    };
    // Only a file is replaced: a FIFO, a device (as root, the system's own) or a folder chosen
    // by mistake stays as it is.
    if (const auto kind = RegularFile::refusal(path)) {
        if (reason)
            *reason = "it is " + *kind + ", not a regular file";
        return false;
    }
    // A name of its own, short enough beside any valid target name.
    std::string temporary = Paths::appending(Paths::deletingLastComponent(path), ".Kestrelmoor-XXXXXX");
    const FileSizeSignalHeld held;
    const int fd = ::mkstemp(temporary.data());
    if (fd < 0)
        return fail(errno);
    int error = 0;
    if (!writeAll(fd, contents) || ::fsync(fd) != 0)
        error = errno;
    // mkstemp creates 0600: keep the mode of a file being replaced, else the usual one.
    struct stat existing{};
    ::fchmod(fd, ::stat(path.c_str(), &existing) == 0 ? (existing.st_mode & 07777) : 0644);
    if (::close(fd) != 0 && error == 0)
        error = errno;
    if (error == 0 && ::rename(temporary.c_str(), path.c_str()) != 0)
        error = errno;
    if (error != 0) {
        ::unlink(temporary.c_str());
        return fail(error);
    }
    return true;
}

SaveResult saveCSV(const std::vector<FileItem>& files, const std::string& suggestedName, SavePanel& panel,
                   DesktopServices& desktop)
{
    const auto location = panel.chooseSaveLocation(suggestedName + ".csv", "CSV document", "csv");
    if (!location || location->empty())
        return {};
    std::string reason;
    if (!writeAtomically(*location, csv(files), &reason)) {
        desktop.beep();
        return {SaveResult::Status::failed, *location, reason};
    }
    desktop.revealItems({*location});
    return {SaveResult::Status::saved, *location, {}};
}

} // namespace ReportExporter
