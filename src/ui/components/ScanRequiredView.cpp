#include "ui/components/ScanRequiredView.h"

#include "app/AppModel.h"
#include "app/ScanCoordinator.h"
#include "ui/components/CommonText.h"

#include <QPushButton>

ScanRequiredView::ScanRequiredView(AppModel& model, const QString& title, const QString& message, QWidget* parent)
    : EmptyStateView(QStringLiteral("internaldrive"), title, message, parent), model_(model)
{
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    QPushButton* scanButton = addAction(CommonText::scanAction());
    scanButton->setObjectName(QStringLiteral("scanButton"));
    connect(scanButton, &QPushButton::clicked, this, [this] {
        if (canStartScan(model_))
            model_.scan().startScan(false);
    });
    connect(&model_.scan(), &ScanCoordinator::progressChanged, this, &ScanRequiredView::refresh);
    refresh();
}

bool ScanRequiredView::canStartScan(const AppModel& model)
{
    return model.database() != nullptr && !ScanCoordinator::isActive(model.scan().progress().phase);
}

void ScanRequiredView::refresh()
{
    action()->setEnabled(canStartScan(model_));
}
