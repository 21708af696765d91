#include "ui/components/FileTableModel.h"

#include "analysis/ByteFormatter.h"
#include "analysis/FileItemPath.h"
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
        return qstr(file.typeSortKey());
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

FileTableModel::FileTableModel(QObject* parent) : QAbstractTableModel(parent) {}

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
        case type:
            // Collation puts "~" before letters; files without an extension belong last.
            if (x.fileExtension.empty() != y.fileExtension.empty())
                return x.fileExtension.empty() ? 1 : -1;
            [[fallthrough]];
        default: {
            const QString& p = keys[column][static_cast<std::size_t>(a)];
            const QString& q = keys[column][static_cast<std::size_t>(b)];
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
        return file.fileExtension.empty() ? QStringLiteral("File") : qstr(file.fileExtension).toUpper();
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

void FileTableModel::setFiles(std::vector<FileItem> files)
{
    beginResetModel();
    files_ = std::move(files);
    refresh();
    endResetModel();
}

void FileTableModel::setSortOrder(SortOrder order)
{
    beginResetModel();
    order_ = std::move(order);
    refresh();
    endResetModel();
}

void FileTableModel::setShowsRank(bool shows)
{
    if (showsRank_ == shows)
        return;
    showsRank_ = shows;
    ranks_ = showsRank_ ? ranks(files_) : std::unordered_map<std::int64_t, int>();
    if (!files_.empty())
        emit dataChanged(index(0, name), index(rowCount() - 1, name));
}

void FileTableModel::refresh()
{
    home_ = SystemPaths::homeDirectory();
    rows_ = sortedRows(files_, order_);
    rowOfID_.clear();
    rowOfID_.reserve(rows_.size());
    for (std::size_t row = 0; row < rows_.size(); ++row)
        rowOfID_.emplace(files_[static_cast<std::size_t>(rows_[row])].id, static_cast<int>(row));
    ranks_ = showsRank_ ? ranks(files_) : std::unordered_map<std::int64_t, int>();
}

const FileItem& FileTableModel::fileAt(int row) const
{
    return files_[static_cast<std::size_t>(rows_[static_cast<std::size_t>(row)])];
}

int FileTableModel::rowOf(std::int64_t id) const
{
    const auto found = rowOfID_.find(id);
    return found == rowOfID_.end() ? -1 : found->second;
}

int FileTableModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
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
            return qstr(pathOf(file));
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
        const auto found = ranks_.find(file.id);
        return found == ranks_.end() ? QVariant() : QVariant(QStringLiteral("%1.").arg(found->second));
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
