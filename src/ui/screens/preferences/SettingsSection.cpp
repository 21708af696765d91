#include "ui/screens/preferences/SettingsSection.h"

#include "ui/components/CardFrame.h"
#include "ui/components/ElidedLabel.h"
#include "ui/components/TextStyle.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

SettingsSection::SettingsSection(const QString& title, QWidget* parent) : QWidget(parent), title_(title)
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(6);
    auto* header = new QLabel(title, this);
    header->setObjectName(QStringLiteral("sectionHeader"));
    applyTextStyle(header, TextStyle::headline, QFont::DemiBold);
    layout->addWidget(header);

    auto* card = new CardFrame(this);
    rows_ = new QVBoxLayout(card);
    rows_->setContentsMargins(14, 12, 14, 12);
    rows_->setSpacing(10);
    layout->addWidget(card);
}

void SettingsSection::addRow(QWidget* row)
{
    rows_->addWidget(row);
}

QLabel* SettingsSection::addLabeledRow(const QString& label, const QString& value)
{
    auto* shown = new QLabel(value);
    shown->setTextInteractionFlags(Qt::TextSelectableByMouse);
    addValueRow(label, shown);
    return shown;
}

ElidedLabel* SettingsSection::addPathRow(const QString& label, const QString& path)
{
    auto* shown = ElidedLabel::forPath(path);
    addValueRow(label, shown);
    return shown;
}

void SettingsSection::addValueRow(const QString& label, QWidget* value)
{
    auto* row = new QWidget;
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(new QLabel(label, row));
    layout->addStretch(1);
    applyTextColor(value, textColor(TextEmphasis::secondary));
    layout->addWidget(value);
    addRow(row);
}

QLabel* SettingsSection::addNote(const QString& text)
{
    auto* label = new QLabel(text);
    label->setWordWrap(true);
    applyTextStyle(label, TextStyle::caption);
    applyTextColor(label, textColor(TextEmphasis::secondary));
    addRow(label);
    return label;
}

QFont SettingsSection::monospacedFont(TextStyle style)
{
    QFont font = textStyleFont(style);
    font.setFamily(QStringLiteral("DejaVu Sans Mono"));
    font.setStyleHint(QFont::Monospace);
    return font;
}
