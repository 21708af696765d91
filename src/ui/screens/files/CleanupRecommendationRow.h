#pragma once

#include "analysis/CleanupRecommendation.h"
#include "scanning/TrashCandidate.h"

#include <QColor>
#include <QString>
#include <QWidget>

#include <optional>
#include <string>
#include <vector>

class AppModel;
class QLabel;
class QPushButton;

// One cleanup finding inside a card of the Cleanup screen, with the one action its kind
// allows: a command to copy (never run), a request to move its paths to the Trash, or the
// Trash itself to open; and Reveal whenever it names a path.
class CleanupRecommendationRow : public QWidget {
    Q_OBJECT

public:
    CleanupRecommendationRow(AppModel& model, CleanupRecommendation item, QWidget* parent = nullptr);

    const CleanupRecommendation& item() const { return item_; }
    // What a row is made for: a finding's title, paths, action and symbol. A finding of
    // the same shape is shown by the same row.
    static std::string shapeKey(const CleanupRecommendation& item);
    // Takes a new measurement of a finding of the same shape in place.
    void update(const CleanupRecommendation& item);

    // The command last copied on the screen; the row shows "Copied" when it is its own.
    void setCopiedCommand(const std::optional<std::string>& command);

    void copyCommand();
    void moveToTrash();
    void openTrash();
    void reveal();

    QPushButton* copyButton() const { return copy_; }
    QPushButton* actionButton() const { return action_; }
    QPushButton* revealButton() const { return reveal_; }

    static QColor safetyColor(CleanupSafety safety);
    // The size, followed directly by "+" when it is a lower bound.
    static QString sizeText(std::int64_t bytes, bool isPartial);
    // One candidate per path, in order, each with its own size when it is known.
    static std::vector<TrashCandidate> trashCandidates(const CleanupRecommendation& item);

signals:
    void commandCopied(const std::string& command);

private:
    void showSafety();

    AppModel& model_;
    CleanupRecommendation item_;
    QLabel* symbol_ = nullptr;
    QLabel* detail_ = nullptr;
    QLabel* size_ = nullptr;
    QPushButton* copy_ = nullptr;
    QPushButton* action_ = nullptr;
    QPushButton* reveal_ = nullptr;
};
