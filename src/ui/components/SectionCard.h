#pragma once

#include "ui/components/CardFrame.h"

#include <QString>

class QLabel;

// A titled card around a screen's section: the heading (with an optional symbol
// before the title and an optional accessory at its trailing end) above the
// content. The card spans the width it is given; its height is its contents'.
class SectionCard : public CardFrame {
    Q_OBJECT

public:
    // An empty `symbolName` shows the title alone; a null accessory leaves the
    // heading's trailing end empty. The card takes ownership of both widgets.
    SectionCard(const QString& title, const QString& symbolName, QWidget* content, QWidget* accessory = nullptr,
                QWidget* parent = nullptr);

    QString title() const { return title_; }
    QWidget* content() const { return content_; }
    QWidget* accessory() const { return accessory_; }

    static constexpr int padding = 16;
    static constexpr int spacing = 12;

private:
    QString title_;
    QWidget* content_;
    QWidget* accessory_;
};
