#pragma once

#include <QString>
#include <QWidget>

class QLabel;
class QPushButton;
class QVBoxLayout;

// What a screen shows when it has nothing to list: a large symbol, a title, a
// description and optionally one action, centred in the space given.
class EmptyStateView : public QWidget {
    Q_OBJECT

public:
    EmptyStateView(const QString& symbolName, const QString& title, const QString& description = {},
                   QWidget* parent = nullptr);

    void setTitle(const QString& title);
    void setDescription(const QString& description);
    QString title() const;
    QString description() const;

    // Adds the view's button (the default one) and returns it; the caller connects it.
    QPushButton* addAction(const QString& title);
    QPushButton* action() const { return action_; }

private:
    QLabel* icon_;
    QLabel* title_;
    QLabel* description_;
    QVBoxLayout* column_;
    QPushButton* action_ = nullptr;
};
