#include "index/RecordedItem.h"

#include "index/FileRecords.h"
#include "index/SQLiteConnection.h"
#include "platform/Paths.h"

std::optional<RecordedItem> RecordedItem::lookUp(SQLiteConnection& db, const std::string& path)
{
    std::optional<RecordedItem> found;
    db.query("SELECT 1 FROM folders WHERE path = ?", {path},
             [&](SQLiteConnection::Statement&) { found = RecordedItem{.kind = Kind::folder}; });
    if (found)
        return found;
    db.query("SELECT files.flags, files.inode FROM files JOIN folders ON folders.id = files.folder_id "
             "WHERE folders.path = ? AND files.name = ?",
             {Paths::deletingLastComponent(path), Paths::lastComponent(path)}, [&](SQLiteConnection::Statement& row) {
                 if (found)
                     return;
                 const bool link = FileItem::Flags{row.integer(0)}.contains(FileItem::Flags::symlink);
                 // 0 is what rows written before inodes were kept hold.
                 const std::int64_t inode = row.integer(1);
                 found = RecordedItem{.kind = link ? Kind::symbolicLink : Kind::file,
                                      .inode = inode != 0 ? std::optional(inode) : std::nullopt};
             });
    return found;
}
