#include "ui/components/EmptyStateView.h"

#include "ui/components/SymbolIcons.h"
#include "ui/components/TextStyle.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

EmptyStateView::EmptyStateView(const QString& symbolName, const QString& title, const QString& description,
                               QWidget* parent)
    : QWidget(parent), icon_(new QLabel), title_(new QLabel(title)), description_(new QLabel(description))
{
    auto* outer = new QVBoxLayout(this);
    outer->addStretch(1);
    column_ = new QVBoxLayout;
    column_->setSpacing(8);
    outer->addLayout(column_);
    outer->addStretch(1);

    icon_->setPixmap(SymbolIcons::pixmap(symbolName.toStdString(), 44, textColor(TextEmphasis::secondary),
                                         devicePixelRatioF()));
    icon_->setAlignment(Qt::AlignCenter);
    column_->addWidget(icon_);

    applyTextStyle(title_, TextStyle::title2, QFont::Bold);
    title_->setAlignment(Qt::AlignCenter);
    title_->setWordWrap(true);
    column_->addWidget(title_);

    applyTextColor(description_, textColor(TextEmphasis::secondary));
    description_->setAlignment(Qt::AlignCenter);
    description_->setWordWrap(true);
    description_->setVisible(!description.isEmpty());
    description_->setMaximumWidth(420);
    // Centred by a row of its own rather than by an alignment flag: an aligned item
    // is given its preferred size, which cut wrapped descriptions off after a line
    // or two.
    auto* descriptionRow = new QHBoxLayout;
    descriptionRow->addStretch(1);
    descriptionRow->addWidget(description_, 100);
    descriptionRow->addStretch(1);
    column_->addLayout(descriptionRow);
}

void EmptyStateView::setTitle(const QString& title) { title_->setText(title); }

void EmptyStateView::setDescription(const QString& description)
{
    description_->setText(description);
    description_->setVisible(!description.isEmpty());
}

QString EmptyStateView::title() const { return title_->text(); }

QString EmptyStateView::description() const { return description_->text(); }

QPushButton* EmptyStateView::addAction(const QString& title)
{
    if (!action_) {
        action_ = new QPushButton(title);
        action_->setDefault(true);
        column_->addSpacing(6);
        column_->addWidget(action_, 0, Qt::AlignHCenter);
    } else {
        action_->setText(title);
    }
    return action_;
}
