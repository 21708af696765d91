#pragma once

#include <QString>
#include <QWidget>

// The statement that the program works offline and uploads nothing, in a compact
// two-line form or a fuller one that wraps onto as many lines as it needs.
class PrivacyNotice : public QWidget {
    Q_OBJECT

public:
    explicit PrivacyNotice(bool compact, QWidget* parent = nullptr);

    bool isCompact() const { return compact_; }

    static QString headline();
    static QString explanation(bool compact);

private:
    bool compact_;
};
