#include "ui/screens/frame/TrashCandidateListModel.h"

#include "analysis/ByteFormatter.h"
#include "analysis/HomeAbbreviation.h"
#include "app/QtText.h"
#include "scanning/SecurityUtils.h"

#include <QFileInfo>
#include <QMimeDatabase>

#include <unordered_map>

TrashCandidateListModel::TrashCandidateListModel(std::string home, QObject* parent)
    : KeyedTableModel([](const TrashCandidateRow& row) { return row.candidate.path; }, parent), home_(std::move(home))
{
}

void TrashCandidateListModel::setCandidates(const std::vector<TrashCandidate>& candidates)
{
    std::vector<TrashCandidateRow> next;
    next.reserve(candidates.size());
    for (const TrashCandidate& candidate : candidates) {
        const int row = rowOfKey(candidate.path);
        std::optional<TrashCandidateJudgement> known;
        if (row >= 0)
            known = rowAt(row).judgement;
        next.push_back({candidate, std::move(known)});
    }
    replaceRows(std::move(next));
}

void TrashCandidateListModel::setJudgements(
    const std::vector<std::pair<std::string, TrashCandidateJudgement>>& judgements)
{
    std::unordered_map<std::string, const TrashCandidateJudgement*> byPath;
    byPath.reserve(judgements.size());
    for (const auto& [path, judgement] : judgements)
        byPath.emplace(path, &judgement);
    std::vector<TrashCandidateRow> next = rows();
    for (TrashCandidateRow& row : next)
        if (const auto found = byPath.find(row.candidate.path); found != byPath.end())
            row.judgement = *found->second;
    replaceRows(std::move(next));
}

std::vector<std::pair<std::string, TrashCandidateJudgement>>
TrashCandidateListModel::judge(const std::vector<TrashCandidate>& candidates, const std::string& home,
                               const std::vector<std::string>& appOwned, std::stop_token stop)
{
    const QMimeDatabase types;
    std::vector<std::pair<std::string, TrashCandidateJudgement>> judged;
    judged.reserve(candidates.size());
    for (const TrashCandidate& candidate : candidates) {
        if (stop.stop_requested())
            break;
        TrashCandidateJudgement judgement;
        const PathSafety verdict = SecurityUtils::evaluate(candidate.path, home, appOwned, true);
        if (verdict.isCaution())
            judgement.caution = verdict.reason();
        const QString path = qstr(candidate.path);
        judgement.isDirectory = QFileInfo(path).isDir();
        if (judgement.isDirectory) {
            judgement.iconName = judgement.genericIconName = "folder";
        } else {
            // By the name only: the contents are never read.
            const QMimeType type = types.mimeTypeForFile(path, QMimeDatabase::MatchExtension);
            judgement.iconName = stdstr(type.iconName());
            judgement.genericIconName = stdstr(type.genericIconName());
        }
        judged.emplace_back(candidate.path, std::move(judgement));
    }
    return judged;
}

int TrashCandidateListModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : 1;
}

Qt::ItemFlags TrashCandidateListModel::flags(const QModelIndex& index) const
{
    return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
}

QVariant TrashCandidateListModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount() || index.column() != 0)
        return {};
    const TrashCandidateRow& row = rowAt(index.row());
    const TrashCandidate& candidate = row.candidate;
    switch (role) {
    case Qt::DisplayRole:
        return qstr(candidate.name);
    case Qt::ToolTipRole:
    case pathRole:
        return qstr(candidate.path);
    case sizeTextRole:
        return QStringLiteral("Size: ") +
               (candidate.size ? qstr(ByteFormatter::string(*candidate.size)) : QStringLiteral("Unknown"));
    case locationTextRole:
        return QStringLiteral("Location: ") + qstr(abbreviatingHome(candidate.path, home_));
    case noteRole:
        return candidate.note ? QVariant(qstr(*candidate.note)) : QVariant();
    case cautionRole:
        return row.judgement && row.judgement->caution ? QVariant(qstr(*row.judgement->caution)) : QVariant();
    case iconNameRole:
        return row.judgement ? QVariant(qstr(row.judgement->iconName)) : QVariant();
    case genericIconNameRole:
        return row.judgement ? QVariant(qstr(row.judgement->genericIconName)) : QVariant();
    case isDirectoryRole:
        return row.judgement ? row.judgement->isDirectory : candidate.isDirectory;
    case judgedRole:
        return row.judgement.has_value();
    default:
        return {};
    }
}
