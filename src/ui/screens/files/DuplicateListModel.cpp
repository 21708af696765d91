#include "ui/screens/files/DuplicateListModel.h"

#include "analysis/ByteFormatter.h"
#include "analysis/FileItemPath.h"
#include "analysis/HomeAbbreviation.h"
#include "app/QtText.h"
#include "ui/components/LocaleText.h"
#include "ui/screens/files/DuplicateView.h"

DuplicateListModel::DuplicateListModel(std::string home, CanSelect canSelect, QObject* parent)
    : QAbstractListModel(parent), home_(std::move(home)), canSelect_(std::move(canSelect))
{
    setGroups({}, {});
}

void DuplicateListModel::setGroups(const std::vector<DuplicateGroup>& groups, const std::set<std::string>& selected)
{
    beginResetModel();
    groups_ = groups;
    selected_ = selected;
    rows_.assign(1, Row{});
    for (std::size_t g = 0; g < groups_.size(); ++g) {
        rows_.push_back({Kind::header, g});
        for (std::size_t f = 0; f < groups_[g].files.size(); ++f)
            rows_.push_back({Kind::file, g, f});
    }
    judge();
    endResetModel();
}

void DuplicateListModel::setSelection(const std::set<std::string>& selected)
{
    selected_ = selected;
    judge();
    if (!rows_.empty())
        emit dataChanged(index(0), index(rowCount() - 1), {tickedRole, tickEnabledRole});
}

void DuplicateListModel::judge()
{
    for (Row& row : rows_) {
        if (row.kind != Kind::file)
            continue;
        const DuplicateGroup& group = groups_[row.group];
        const FileItem& file = group.files[row.file];
        row.ticked = selected_.contains(pathOf(file));
        row.tickEnabled = canSelect_(file, group, selected_);
    }
}

int DuplicateListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

QVariant DuplicateListModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    const Row& row = rows_[static_cast<std::size_t>(index.row())];
    if (role == kindRole)
        return static_cast<int>(row.kind);
    if (row.kind == Kind::summary) {
        if (role == Qt::DisplayRole)
            return DuplicateView::summaryText(groups_.size());
        if (role == detailRole)
            return QStringLiteral("Potential savings: ") + qstr(ByteFormatter::string(DuplicateView::totalSavings(groups_)));
        return {};
    }
    const DuplicateGroup& group = groups_[row.group];
    if (row.kind == Kind::header) {
        if (role == Qt::DisplayRole)
            return DuplicateView::groupHeading(group);
        if (role == detailRole)
            return DuplicateView::groupTotals(group);
        return {};
    }
    const FileItem& file = group.files[row.file];
    switch (role) {
    case Qt::DisplayRole: return qstr(file.name);
    case detailRole: return qstr(abbreviatingHome(file.folderPath, home_));
    case dateRole: return file.modified ? LocaleText::abbreviatedDate(*file.modified) : QString();
    case tickedRole: return row.ticked;
    case tickEnabledRole: return row.tickEnabled;
    case categoryRole: return rawValue(file.category);
    case pathRole: return qstr(pathOf(file));
    default: return {};
    }
}

DuplicateListModel::Kind DuplicateListModel::kind(int row) const
{
    return row >= 0 && row < rowCount() ? rows_[static_cast<std::size_t>(row)].kind : Kind::summary;
}

const FileItem* DuplicateListModel::file(int row) const
{
    if (kind(row) != Kind::file)
        return nullptr;
    const Row& entry = rows_[static_cast<std::size_t>(row)];
    return &groups_[entry.group].files[entry.file];
}

int DuplicateListModel::rowOf(const std::string& path) const
{
    for (int row = 0; row < rowCount(); ++row) {
        if (const FileItem* copy = file(row); copy && pathOf(*copy) == path)
            return row;
    }
    return -1;
}
