#pragma once

#include <QString>
#include <QWidget>

class QPushButton;

// The title of a screen that measures on demand, with its "Refresh" button at the
// trailing end.
class RefreshHeading : public QWidget {
    Q_OBJECT

public:
    explicit RefreshHeading(const QString& title, QWidget* parent = nullptr);

    QPushButton* refreshButton() const { return refresh_; }

private:
    QPushButton* refresh_;
};
