#include "ui/components/FileTableModel.h"

#include "analysis/ByteFormatter.h"
#include "analysis/FileItemPath.h"
#include "analysis/FileTypeName.h"
#include "analysis/HomeAbbreviation.h"
#include "app/QtText.h"
#include "platform/SystemPaths.h"
#include "ui/components/CategoryColor.h"
#include "ui/components/LocaleText.h"
#include "ui/components/TextStyle.h"

#include <QCollator>
#include <QColor>

#include <algorithm>
#include <optional>

namespace {

QString textKey(const FileItem& file, FileTableModel::Column column)
{
    switch (column) {
    case FileTableModel::name:
        return qstr(file.name);
    case FileTableModel::type:
        return qstr(FileTypeName::typeExtension(file.name, file.fileExtension));
    case FileTableModel::category:
        return qstr(displayName(file.category));
    case FileTableModel::location:
        return qstr(file.folderPath);
    default:
        return {};
    }
}

bool isTextColumn(FileTableModel::Column column)
{
    return column == FileTableModel::name || column == FileTableModel::type || column == FileTableModel::category ||
           column == FileTableModel::location;
}

template <class T>
int threeWay(const T& a, const T& b)
{
    return a < b ? -1 : (b < a ? 1 : 0);
}

} // namespace

const std::array<FileTableModel::ColumnSpec, FileTableModel::columnTotal>& FileTableModel::columns()
{
    static const std::array<ColumnSpec, columnTotal> specs{{
        {"Name", 150, 280},
        {"Size", 62, 84},
        {"Type", 42, 60},
        {"Category", 64, 100},
        {"Modified", 96, 130},
        {"Created", 72, 96},
        {"Location", 110, 260},
    }};
    return specs;
}

FileTableModel::FileTableModel(QObject* parent)
    : KeyedTableModel([](const FileTableRow& row) { return row.file.id; }, parent)
{
}

std::vector<int> FileTableModel::sortedRows(const std::vector<FileItem>& files, const SortOrder& order)
{
    std::vector<int> rows(files.size());
    for (std::size_t i = 0; i < rows.size(); ++i)
        rows[i] = static_cast<int>(i);

    QCollator collator;
    collator.setNumericMode(true);
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    // Text keys are made once per sort, not once per comparison.
    std::array<std::vector<QString>, columnTotal> keys;
    for (const SortKey& key : order) {
        if (!isTextColumn(key.column) || !keys[key.column].empty())
            continue;
        keys[key.column].reserve(files.size());
        for (const FileItem& file : files)
            keys[key.column].push_back(textKey(file, key.column));
    }

    auto compare = [&](int a, int b, Column column) {
        const FileItem& x = files[static_cast<std::size_t>(a)];
        const FileItem& y = files[static_cast<std::size_t>(b)];
        switch (column) {
        case size:
            return threeWay(x.allocatedSize, y.allocatedSize);
        case modified:
            return threeWay(x.modifiedSortKey(), y.modifiedSortKey());
        case created:
            return threeWay(x.createdSortKey(), y.createdSortKey());
        default: {
            const QString& p = keys[column][static_cast<std::size_t>(a)];
            const QString& q = keys[column][static_cast<std::size_t>(b)];
            // Files without a type belong last.
            if (column == type && p.isEmpty() != q.isEmpty())
                return p.isEmpty() ? 1 : -1;
            if (const int byCollation = collator.compare(p, q))
                return byCollation;
            // Keys that differ only in letter case are still different keys.
            return QString::compare(p, q, Qt::CaseSensitive);
        }
        }
    };
    std::stable_sort(rows.begin(), rows.end(), [&](int a, int b) {
        for (const SortKey& key : order) {
            const int result = compare(a, b, key.column);
            if (result != 0)
                return key.ascending ? result < 0 : result > 0;
        }
        return false;
    });
    return rows;
}

std::unordered_map<std::int64_t, int> FileTableModel::ranks(const std::vector<FileItem>& files)
{
    std::vector<const FileItem*> bySize;
    bySize.reserve(files.size());
    for (const FileItem& file : files)
        bySize.push_back(&file);
    std::stable_sort(bySize.begin(), bySize.end(),
                     [](const FileItem* a, const FileItem* b) { return a->allocatedSize > b->allocatedSize; });
    std::unordered_map<std::int64_t, int> map;
    map.reserve(bySize.size());
    for (std::size_t i = 0; i < bySize.size(); ++i)
        map.emplace(bySize[i]->id, static_cast<int>(i) + 1);
    return map;
}

FileTableModel::SortOrder FileTableModel::afterHeaderClick(SortOrder order, Column column)
{
    if (!order.empty() && order.front().column == column) {
        order.front().ascending = !order.front().ascending;
        return order;
    }
    std::erase_if(order, [column](const SortKey& key) { return key.column == column; });
    order.insert(order.begin(), SortKey{column, true});
    return order;
}

QString FileTableModel::cellText(const FileItem& file, Column column)
{
    switch (column) {
    case name:
        return qstr(file.name);
    case size:
        return qstr(ByteFormatter::string(file.allocatedSize));
    case type:
        return qstr(FileTypeName::of(file));
    case category:
        return qstr(displayName(file.category));
    case modified:
        return LocaleText::abbreviatedDate(file.modified, LocaleText::TimeStyle::shortened);
    case created:
        return LocaleText::abbreviatedDate(file.created, LocaleText::TimeStyle::omitted);
    case location:
        return qstr(abbreviatingHome(file.folderPath));
    }
    return {};
}

QString FileTableModel::sizeToolTip(const FileItem& file)
{
    return LocaleText::integer(file.allocatedSize) + QString::fromUtf8(" bytes on disk \u00b7 ") +
           LocaleText::integer(file.size) + QStringLiteral(" bytes logical");
}

const QString& FileTableModel::hardLinkNote()
{
    static const QString note = QString::fromUtf8("Hard link \u2014 shares storage with another path; counted once in totals");
    return note;
}

void FileTableModel::setFiles(std::vector<FileItem> files)
{
    const std::size_t shownBefore = files_.size();
    files_ = std::move(files);
    refresh();
    // Every rank frame is as wide as the longest rank of the list.
    if (showsRank_ && QString::number(shownBefore).size() != QString::number(files_.size()).size())
        redrawAll();
}

void FileTableModel::setSortOrder(SortOrder order)
{
    order_ = std::move(order);
    refresh();
}

void FileTableModel::setShowsRank(bool shows)
{
    if (showsRank_ == shows)
        return;
    showsRank_ = shows;
    refresh();
    redrawAll();
}

void FileTableModel::refresh()
{
    home_ = SystemPaths::homeDirectory();
    ranks_ = showsRank_ ? ranks(files_) : std::unordered_map<std::int64_t, int>();
    std::vector<FileTableRow> next;
    next.reserve(files_.size());
    for (int position : sortedRows(files_, order_)) {
        const FileItem& file = files_[static_cast<std::size_t>(position)];
        const auto rank = ranks_.find(file.id);
        next.push_back({file, rank == ranks_.end() ? std::nullopt : std::optional<int>(rank->second)});
    }
    replaceRows(std::move(next));
}

int FileTableModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : columnTotal;
}

QVariant FileTableModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount() || index.column() >= columnCount())
        return {};
    const FileItem& file = fileAt(index.row());
    const auto column = static_cast<Column>(index.column());
    switch (role) {
    case Qt::DisplayRole:
        if (column == location)
            return qstr(abbreviatingHome(file.folderPath, home_));
        return cellText(file, column);
    case Qt::ToolTipRole:
        if (column == name)
            return file.flags.contains(FileItem::Flags::hardLink)
                       ? qstr(pathOf(file)) + QLatin1Char('\n') + hardLinkNote()
                       : qstr(pathOf(file));
        if (column == size)
            return sizeToolTip(file);
        return {};
    case Qt::TextAlignmentRole:
        return column == size ? QVariant(Qt::AlignRight | Qt::AlignVCenter) : QVariant(Qt::AlignLeft | Qt::AlignVCenter);
    case Qt::ForegroundRole:
        if (column == name || column == size)
            return {};
        return textColor(TextEmphasis::secondary);
    }
    if (column != name)
        return {};
    switch (role) {
    case rankRole: {
        const std::optional<int>& rank = rowAt(index.row()).rank;
        return rank ? QVariant(QStringLiteral("%1.").arg(*rank)) : QVariant();
    }
    case rankWidthTextRole:
        // The widest rank of the list, so that every row's rank frame is equally wide.
        return showsRank_ ? QVariant(QStringLiteral("%1.").arg(files_.size())) : QVariant();
    case symbolRole:
        return file.flags.contains(FileItem::Flags::symlink) ? QStringLiteral("link") : qstr(symbolName(file.category));
    case tintRole:
        return categoryColor(file.category);
    case hiddenRole:
        return file.flags.contains(FileItem::Flags::hidden);
    case hardLinkRole:
        return file.flags.contains(FileItem::Flags::hardLink);
    }
    return {};
}

QVariant FileTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section < 0 || section >= columnCount())
        return {};
    if (role == Qt::DisplayRole)
        return QString::fromLatin1(columns()[static_cast<std::size_t>(section)].title);
    if (role == Qt::TextAlignmentRole)
        return section == size ? QVariant(Qt::AlignRight | Qt::AlignVCenter) : QVariant(Qt::AlignLeft | Qt::AlignVCenter);
    return {};
}
