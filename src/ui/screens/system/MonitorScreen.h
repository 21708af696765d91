#pragma once

#include "index/ProcessRecords.h"

#include <QIcon>
#include <QString>
#include <QWidget>

class ApplicationsStore;
class SystemMonitorStore;
class QStackedWidget;
class QVBoxLayout;

// A live monitor screen: keeps the store sampling (processes included) while it is
// shown, and shows a waiting placeholder until the store has its first sample. Its
// sections are built once; each sample sets their new figures.
class MonitorScreen : public QWidget {
    Q_OBJECT

public:
    ~MonitorScreen() override;

    bool isSubscribed() const { return subscribed_; }
    bool showsPlaceholder() const;

protected:
    // `apps`, when given, lends processes of installed applications their icons.
    MonitorScreen(SystemMonitorStore& monitor, const ApplicationsStore* apps, const QString& title,
                  const QString& waitingText, QWidget* parent);

    // Sets the shown figures from the store; called whenever a sample arrives.
    virtual void refresh() = 0;
    void showPlaceholder(bool waiting);
    // The stack the sections are added to, top to bottom, once.
    QVBoxLayout* sections() const { return sections_; }
    SystemMonitorStore& monitor() const { return monitor_; }
    QIcon processIcon(const ProcessSnapshot& process) const;

    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void unsubscribe();

    SystemMonitorStore& monitor_;
    const ApplicationsStore* apps_;
    QStackedWidget* pages_;
    QWidget* placeholder_;
    QWidget* contentPage_;
    QVBoxLayout* sections_;
    bool subscribed_ = false;
    bool refreshPending_ = false;
};
