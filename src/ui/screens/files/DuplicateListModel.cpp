#include "ui/screens/files/DuplicateListModel.h"

#include "analysis/ByteFormatter.h"
#include "analysis/FileItemPath.h"
#include "analysis/HomeAbbreviation.h"
#include "app/QtText.h"
#include "ui/components/LocaleText.h"
#include "ui/screens/files/DuplicateView.h"

namespace {

std::string fileKey(const DuplicateGroup& group, const std::string& path)
{
    return "f:" + group.hash + '\n' + path;
}

} // namespace

DuplicateListModel::DuplicateListModel(std::string home, TickRefusal tickRefusal, QObject* parent)
    : KeyedTableModel([](const DuplicateListRow& row) { return row.key; }, parent), home_(std::move(home)),
      tickRefusal_(std::move(tickRefusal))
{
    refresh();
}

void DuplicateListModel::setGroups(const std::vector<DuplicateGroup>& groups, const std::set<std::string>& selected)
{
    groups_ = groups;
    selected_ = selected;
    refresh();
}

void DuplicateListModel::setSelection(const std::set<std::string>& selected)
{
    selected_ = selected;
    refresh();
}

void DuplicateListModel::refresh()
{
    std::vector<DuplicateListRow> next;
    DuplicateListRow summary;
    summary.key = "s";
    summary.title = DuplicateView::summaryText(groups_.size());
    summary.detail = QStringLiteral("Potential savings: ") + qstr(ByteFormatter::string(DuplicateView::totalSavings(groups_)));
    next.push_back(std::move(summary));
    for (std::size_t g = 0; g < groups_.size(); ++g) {
        const DuplicateGroup& group = groups_[g];
        DuplicateListRow header;
        header.kind = Kind::header;
        header.key = "h:" + group.hash;
        header.title = DuplicateView::groupHeading(group);
        header.detail = DuplicateView::groupTotals(group);
        header.group = g;
        next.push_back(std::move(header));
        for (const FileItem& copy : group.files) {
            const std::string path = pathOf(copy);
            DuplicateListRow row;
            row.kind = Kind::file;
            row.key = fileKey(group, path);
            row.title = qstr(copy.name);
            row.detail = qstr(abbreviatingHome(copy.folderPath, home_));
            row.group = g;
            row.file = copy;
            row.ticked = selected_.contains(path);
            row.tickRefusal = tickRefusal_(copy, group, selected_);
            row.tickEnabled = row.tickRefusal.isEmpty();
            next.push_back(std::move(row));
        }
    }
    replaceRows(std::move(next));
}

int DuplicateListModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : 1;
}

QVariant DuplicateListModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    const DuplicateListRow& row = rowAt(index.row());
    switch (role) {
    case kindRole: return static_cast<int>(row.kind);
    case Qt::DisplayRole: return row.title;
    case detailRole: return row.detail;
    default: break;
    }
    if (row.kind != Kind::file)
        return {};
    switch (role) {
    case dateRole: return row.file.modified ? LocaleText::abbreviatedDate(*row.file.modified) : QString();
    case tickedRole: return row.ticked;
    case tickEnabledRole: return row.tickEnabled;
    case Qt::ToolTipRole: return row.tickEnabled ? QVariant() : QVariant(row.tickRefusal);
    case categoryRole: return rawValue(row.file.category);
    case pathRole: return qstr(pathOf(row.file));
    default: return {};
    }
}

DuplicateListModel::Kind DuplicateListModel::kind(int row) const
{
    return row >= 0 && row < rowCount() ? rowAt(row).kind : Kind::summary;
}

const FileItem* DuplicateListModel::file(int row) const
{
    if (kind(row) != Kind::file)
        return nullptr;
    return &rowAt(row).file;
}

int DuplicateListModel::rowOf(const std::string& path) const
{
    for (int row = 0; row < rowCount(); ++row) {
        if (const FileItem* copy = file(row); copy && pathOf(*copy) == path)
            return row;
    }
    return -1;
}
