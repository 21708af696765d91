#pragma once

#include "scanning/TrashCandidate.h"
#include "ui/components/KeyedTableModel.h"

#include <QString>

#include <optional>
#include <stop_token>
#include <string>
#include <vector>

// What the file system says about one item offered for removal: the caution of the
// safety rules, if any, and the names of the icon its kind has in the desktop's theme.
struct TrashCandidateJudgement {
    std::optional<std::string> caution;
    std::string iconName;
    std::string genericIconName;
    bool isDirectory = false;

    friend bool operator==(const TrashCandidateJudgement&, const TrashCandidateJudgement&) = default;
};

struct TrashCandidateRow {
    TrashCandidate candidate;
    std::optional<TrashCandidateJudgement> judgement; // absent until the file system answered

    friend bool operator==(const TrashCandidateRow&, const TrashCandidateRow&) = default;
};

// The rows of the removal sheet, one per item, keyed by path. The texts are made
// when a row is drawn, so that a list of thousands opens at once; the verdicts and
// icons, which need the file system, arrive later from the background.
class TrashCandidateListModel : public KeyedTableModel<TrashCandidateRow, std::string> {
public:
    enum Role {
        sizeTextRole = Qt::UserRole + 1, // "Size: 1.50 MB" or "Size: Unknown"
        locationTextRole,                // "Location: ~/Downloads/a.zip"
        noteRole,                        // the note, or nothing
        cautionRole,                     // the caution's reason, or nothing
        iconNameRole,                    // the theme's icon name, or nothing before the answer
        genericIconNameRole,
        isDirectoryRole,
        pathRole,
        judgedRole,
    };

    explicit TrashCandidateListModel(std::string home, QObject* parent = nullptr);

    void setCandidates(const std::vector<TrashCandidate>& candidates);
    // Judgements by path; rows without one keep what they had.
    void setJudgements(const std::vector<std::pair<std::string, TrashCandidateJudgement>>& judgements);

    // Judges every item against the file system, in order, until asked to stop; runs
    // off the main thread.
    static std::vector<std::pair<std::string, TrashCandidateJudgement>>
    judge(const std::vector<TrashCandidate>& candidates, const std::string& home,
          const std::vector<std::string>& appOwned, std::stop_token stop = {});

    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    std::string home_;
};
