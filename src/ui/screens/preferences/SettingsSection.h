#pragma once

#include "ui/components/TextStyle.h"

#include <QFont>
#include <QString>
#include <QWidget>

class QLabel;
class QVBoxLayout;

// One group of the Settings form: a plain header above a rounded card whose rows
// stack from the top.
class SettingsSection : public QWidget {
    Q_OBJECT

public:
    explicit SettingsSection(const QString& title, QWidget* parent = nullptr);

    QString title() const { return title_; }
    // The section takes ownership of the row.
    void addRow(QWidget* row);
    // A row with the label at the leading edge and the value at the trailing edge.
    QLabel* addLabeledRow(const QString& label, const QString& value);
    // A note in small secondary text that wraps onto as many lines as it needs.
    QLabel* addNote(const QString& text);

    // The monospaced face of a text style, for paths.
    static QFont monospacedFont(TextStyle style);

private:
    QString title_;
    QVBoxLayout* rows_;
};
