#pragma once

#include "app/system/TrashRequest.h"

#include <QDialog>

#include <cstdint>

class AppModel;
class LatestLoad;
class QListView;
class QPushButton;
class TrashCandidateDelegate;
class TrashCandidateListModel;

// The confirmation every removal passes: the items with their sizes, places and
// warnings, the total, and "Move to Trash", which hands the request to the model.
// Return confirms nothing; Escape cancels. The rows are a list over a model, so a
// request of thousands opens at once; the safety cautions and the icons are found
// in the background and appear when they are known.
class TrashConfirmationSheet : public QDialog {
    Q_OBJECT

public:
    static constexpr int sheetWidth = 520;
    static constexpr int maximumListHeight = 280;

    TrashConfirmationSheet(AppModel& model, TrashRequest request, QWidget* parent = nullptr);

    const TrashRequest& request() const { return request_; }
    bool isWorking() const { return isWorking_; }
    // True until every item's caution and icon are known.
    bool isJudging() const;
    TrashCandidateListModel* candidates() const { return candidates_; }
    QListView* itemList() const { return list_; }

    // Sum of the known sizes; an item without a size adds nothing.
    static std::int64_t total(const TrashRequest& request);

    // The selected rows' full paths, one per line, in list order.
    QString selectedPaths() const;

private:
    void confirm();
    void judge();
    void fitListHeight();
    void copySelectedPaths();
    void showListMenu(const QPoint& position);

    AppModel& model_;
    TrashRequest request_;
    bool isWorking_ = false;
    QPushButton* moveButton_ = nullptr;
    QListView* list_ = nullptr;
    TrashCandidateListModel* candidates_ = nullptr;
    TrashCandidateDelegate* delegate_ = nullptr;
    LatestLoad* judging_ = nullptr;
};
