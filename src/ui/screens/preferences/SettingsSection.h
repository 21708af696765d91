#pragma once

#include "ui/components/TextStyle.h"

#include <QFont>
#include <QString>
#include <QWidget>

class ElidedLabel;
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
    // The same for a path, shortened in the middle where the row is too narrow for it.
    ElidedLabel* addPathRow(const QString& label, const QString& path);
    // A note in small secondary text that wraps onto as many lines as it needs.
    QLabel* addNote(const QString& text);

    // The monospaced face of a text style, for paths.
    static QFont monospacedFont(TextStyle style);

private:
    void addValueRow(const QString& label, QWidget* value);

    QString title_;
    QVBoxLayout* rows_;
};
