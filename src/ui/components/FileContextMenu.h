#pragma once

#include "index/FileRecords.h"
#include "index/PathSafety.h"
#include "scanning/TrashCandidate.h"

#include <QMenu>
#include <QString>

#include <optional>
#include <stop_token>
#include <string>
#include <vector>

class AppModel;

// The right-click menu of one or more indexed files. It opens at once; the
// path-safety verdicts behind its Trash item need the file system, so they are
// judged in the background and fill in that item when they arrive.
class FileContextMenu : public QMenu {
    Q_OBJECT

public:
    enum class EntryKind { button, divider, label };
    enum class Command { none, reveal, open, copyPaths, showEnclosingFolder, moveToTrash };

    struct Entry {
        EntryKind kind = EntryKind::button;
        QString title;
        bool enabled = true;
        Command command = Command::none;
        friend bool operator==(const Entry&, const Entry&) = default;
    };

    // The menu's entries; `allowedCount` is absent while the verdicts are still
    // being judged, which leaves the Trash item disabled. When none is allowed, a line
    // says why: `refusal`, or the system's protection when none is given.
    static std::vector<Entry> entries(std::size_t fileCount, std::optional<std::size_t> allowedCount,
                                      const QString& refusal = {});
    // Why a file of the list may not be removed: the first refused one's reason.
    static QString refusal(const std::vector<FileItem>& files, const std::vector<PathSafety>& verdicts);

    // The files that may be offered for removal, in order: not protected, and with a
    // name the file system reported as valid. `verdicts` holds one per file.
    static std::vector<FileItem> allowedFiles(const std::vector<FileItem>& files,
                                              const std::vector<PathSafety>& verdicts);
    // One verdict per file against the home folder and the program's own paths,
    // with the file-system tests. Blocks on the file system: never on the main thread.
    // Stops early, with fewer verdicts, when asked to.
    static std::vector<PathSafety> judge(const std::vector<FileItem>& files, std::stop_token stop = {});

    static TrashCandidate trashCandidate(const FileItem& file);
    static std::vector<TrashCandidate> trashCandidates(const std::vector<FileItem>& files);
    // The full paths, one a line, without a line feed after the last.
    static std::string copiedText(const std::vector<FileItem>& files);

    // A menu for the files, deleted when it closes; null for no files.
    static FileContextMenu* create(AppModel& model, std::vector<FileItem> files, QWidget* parent = nullptr);

    bool hasVerdicts() const { return allowed_.has_value(); }
    const std::vector<FileItem>& files() const { return files_; }

private:
    FileContextMenu(AppModel& model, std::vector<FileItem> files, QWidget* parent);

    void rebuild();
    void run(Command command);

    AppModel& model_;
    std::vector<FileItem> files_;
    std::optional<std::vector<FileItem>> allowed_;
    QString refusal_;
};
