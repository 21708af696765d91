#pragma once

#include "app/TrashRequest.h"

#include <QDialog>

#include <cstdint>

class AppModel;
class QPushButton;

// The confirmation every removal passes: the items with their sizes, places and
// warnings, the total, and "Move to Trash", which hands the request to the model.
// Return confirms nothing; Escape cancels.
class TrashConfirmationSheet : public QDialog {
    Q_OBJECT

public:
    TrashConfirmationSheet(AppModel& model, TrashRequest request, QWidget* parent = nullptr);

    const TrashRequest& request() const { return request_; }
    bool isWorking() const { return isWorking_; }

    // Sum of the known sizes; an item without a size adds nothing.
    static std::int64_t total(const TrashRequest& request);

private:
    void confirm();

    AppModel& model_;
    TrashRequest request_;
    bool isWorking_ = false;
    QPushButton* moveButton_ = nullptr;
};
