#include "ui/components/TintedLabelStyle.h"

#include "ui/components/SymbolIcons.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>

namespace {

// Redraws its glyph at the height of the font it inherits, so the icon follows the
// text style its surroundings give the label.
class TintedIcon : public QLabel {
public:
    TintedIcon(std::string symbolName, const QColor& tint) : symbolName_(std::move(symbolName)), tint_(tint)
    {
        setObjectName(QStringLiteral("icon"));
        setAlignment(Qt::AlignCenter);
        refresh();
    }

protected:
    void changeEvent(QEvent* event) override
    {
        QLabel::changeEvent(event);
        if (event->type() == QEvent::FontChange)
            refresh();
    }

private:
    void refresh()
    {
        const int side = fontMetrics().height();
        setPixmap(SymbolIcons::pixmap(symbolName_, side, tint_, devicePixelRatioF()));
        setFixedSize(side, side);
    }

    std::string symbolName_;
    QColor tint_;
};

} // namespace

QWidget* TintedLabelStyle::makeBody(const QString& symbolName, const QString& title, QWidget* parent) const
{
    auto* body = new QWidget(parent);
    auto* row = new QHBoxLayout(body);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(spacing);
    row->addWidget(new TintedIcon(symbolName.toStdString(), tint_), 0, Qt::AlignVCenter);
    auto* text = new QLabel(title);
    text->setObjectName(QStringLiteral("title"));
    row->addWidget(text, 1, Qt::AlignVCenter);
    return body;
}
