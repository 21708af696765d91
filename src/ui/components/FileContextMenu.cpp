#include "ui/components/FileContextMenu.h"

#include "analysis/FileItemPath.h"
#include "app/AppModel.h"
#include "app/LatestLoad.h"
#include "app/QtText.h"
#include "platform/DesktopServices.h"
#include "platform/Paths.h"
#include "platform/SystemPaths.h"
#include "scanning/FinderActions.h"
#include "scanning/SecurityUtils.h"
#include "ui/components/CommonText.h"

#include <QAction>

#include <stop_token>

namespace {

std::vector<std::string> pathsOf(const std::vector<FileItem>& files)
{
    std::vector<std::string> paths;
    paths.reserve(files.size());
    for (const FileItem& file : files)
        paths.push_back(pathOf(file));
    return paths;
}

} // namespace

std::vector<FileContextMenu::Entry> FileContextMenu::entries(std::size_t fileCount,
                                                             std::optional<std::size_t> allowedCount,
                                                             const QString& refusal)
{
    if (fileCount == 0)
        return {};
    const auto count = static_cast<long long>(fileCount);
    std::vector<Entry> list;
    list.push_back({EntryKind::button, CommonText::revealAction(), true, Command::reveal});
    if (fileCount == 1)
        list.push_back({EntryKind::button, QStringLiteral("Open"), true, Command::open});
    list.push_back({EntryKind::button,
                    fileCount == 1 ? QStringLiteral("Copy Path") : QStringLiteral("Copy %1 Paths").arg(count), true,
                    Command::copyPaths});
    list.push_back({EntryKind::button, QStringLiteral("Show Enclosing Folder Size"), true,
                    Command::showEnclosingFolder});
    list.push_back({EntryKind::divider, QString(), false, Command::none});
    const QString trash = QString::fromUtf8("Move to Trash\u2026");
    if (!allowedCount) {
        list.push_back({EntryKind::button, trash, false, Command::moveToTrash});
        return list;
    }
    const QString title = *allowedCount == fileCount
                              ? trash
                              : trash + QStringLiteral(" (%1 of %2 allowed)")
                                            .arg(static_cast<long long>(*allowedCount))
                                            .arg(count);
    list.push_back({EntryKind::button, title, *allowedCount > 0, Command::moveToTrash});
    if (*allowedCount == 0)
        list.push_back({EntryKind::label, refusal.isEmpty() ? qstr(std::string(SecurityUtils::protectedTitle)) : refusal,
                        false, Command::none});
    return list;
}

std::vector<FileItem> FileContextMenu::allowedFiles(const std::vector<FileItem>& files,
                                                    const std::vector<PathSafety>& verdicts)
{
    std::vector<FileItem> allowed;
    for (std::size_t i = 0; i < files.size() && i < verdicts.size(); ++i) {
        // A repaired name, the file's own or a folder's, is not the real one: the path may name a sibling.
        if (verdicts[i].isProtected() || files[i].flags.contains(FileItem::Flags::invalidName) ||
            SecurityUtils::hasRepairedName(pathOf(files[i])))
            continue;
        allowed.push_back(files[i]);
    }
    return allowed;
}

QString FileContextMenu::refusal(const std::vector<FileItem>& files, const std::vector<PathSafety>& verdicts)
{
    for (std::size_t i = 0; i < files.size() && i < verdicts.size(); ++i)
        if (verdicts[i].isProtected())
            return qstr(verdicts[i].reason());
    // Only a name that could not be read keeps a file back without a verdict that says so.
    for (const FileItem& file : files)
        if (file.flags.contains(FileItem::Flags::invalidName) || SecurityUtils::hasRepairedName(pathOf(file)))
            return QStringLiteral("A name on this item's path could not be read exactly. Rename it in your file "
                                  "manager first.");
    return {};
}

std::vector<PathSafety> FileContextMenu::judge(const std::vector<FileItem>& files, std::stop_token stop)
{
    const std::string home = SystemPaths::homeDirectory();
    std::vector<PathSafety> verdicts;
    verdicts.reserve(files.size());
    for (const FileItem& file : files) {
        if (stop.stop_requested())
            break;
        verdicts.push_back(SecurityUtils::evaluate(pathOf(file), home, SecurityUtils::appOwnedPaths(), true));
    }
    return verdicts;
}

TrashCandidate FileContextMenu::trashCandidate(const FileItem& file)
{
    const std::string path = pathOf(file);
    return {path, Paths::lastComponent(path), file.allocatedSize, false, std::nullopt};
}

std::vector<TrashCandidate> FileContextMenu::trashCandidates(const std::vector<FileItem>& files)
{
    std::vector<TrashCandidate> candidates;
    candidates.reserve(files.size());
    for (const FileItem& file : files)
        candidates.push_back(trashCandidate(file));
    return candidates;
}

std::string FileContextMenu::copiedText(const std::vector<FileItem>& files)
{
    std::string text;
    for (const std::string& path : pathsOf(files)) {
        if (!text.empty())
            text += '\n';
        text += path;
    }
    return text;
}

FileContextMenu* FileContextMenu::create(AppModel& model, std::vector<FileItem> files, QWidget* parent)
{
    if (files.empty())
        return nullptr;
    return new FileContextMenu(model, std::move(files), parent);
}

FileContextMenu::FileContextMenu(AppModel& model, std::vector<FileItem> files, QWidget* parent)
    : QMenu(parent), model_(model), files_(std::move(files))
{
    setAttribute(Qt::WA_DeleteOnClose);
    rebuild();
    // Stops judging a large selection once the menu is gone.
    auto* load = new LatestLoad(this);
    load->start(
        [files = files_](std::stop_token stop) { return judge(files, stop); },
        [this](std::vector<PathSafety> verdicts) {
            allowed_ = allowedFiles(files_, verdicts);
            refusal_ = refusal(files_, verdicts);
            rebuild();
        });
}

void FileContextMenu::rebuild()
{
    const auto wanted = entries(files_.size(), allowed_ ? std::optional(allowed_->size()) : std::nullopt, refusal_);
    const QList<QAction*> present = actions();
    // Only the Trash item changes and a line may follow it; the open menu keeps its other items.
    for (std::size_t i = 0; i < wanted.size(); ++i) {
        const Entry& entry = wanted[i];
        QAction* action = i < static_cast<std::size_t>(present.size()) ? present[static_cast<int>(i)] : nullptr;
        if (!action) {
            if (entry.kind == EntryKind::divider) {
                addSeparator();
                continue;
            }
            action = addAction(entry.title);
            const Command command = entry.command;
            if (command != Command::none)
                connect(action, &QAction::triggered, this, [this, command] { run(command); });
        }
        if (entry.kind != EntryKind::divider) {
            action->setText(entry.title);
            action->setEnabled(entry.enabled);
        }
    }
}

void FileContextMenu::run(Command command)
{
    DesktopServices& desktop = model_.desktop();
    switch (command) {
    case Command::reveal:
        FinderActions::reveal(pathsOf(files_), desktop);
        break;
    case Command::open:
        // Nothing may open the file (gone, or no application for its type): say so.
        if (!desktop.openItem(pathOf(files_.front())))
            desktop.beep();
        break;
    case Command::copyPaths:
        desktop.copyText(copiedText(files_));
        break;
    case Command::showEnclosingFolder:
        // The screen reads the focus when the selection builds it.
        model_.setLargestFoldersFocus(files_.front().folderPath);
        model_.setSelection(SidebarItem::largestFolders);
        break;
    case Command::moveToTrash:
        if (allowed_ && !allowed_->empty())
            model_.requestTrash(trashCandidates(*allowed_));
        break;
    case Command::none:
        break;
    }
}
