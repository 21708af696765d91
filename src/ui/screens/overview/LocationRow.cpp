#include "ui/screens/overview/LocationRow.h"

#include "analysis/ByteFormatter.h"
#include "analysis/HomeAbbreviation.h"
#include "app/QtText.h"
#include "ui/components/CategoryColor.h"
#include "ui/components/ElidedLabel.h"
#include "ui/components/LocaleText.h"
#include "ui/components/ScreenParts.h"
#include "ui/components/SymbolIcons.h"
#include "ui/components/TextStyle.h"
#include "ui/components/TintedLabelStyle.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

namespace {

QLabel* symbolLabel(std::string_view symbol, int side, const QColor& tint)
{
    auto* label = new QLabel;
    label->setPixmap(SymbolIcons::pixmap(symbol, side, tint));
    label->setAlignment(Qt::AlignCenter);
    return label;
}


} // namespace

LocationRow::LocationRow(KnownLocation location, std::optional<FolderItem> folder, std::function<void()> action,
                         QWidget* parent)
    : RowButton(parent), location_(std::move(location))
{
    setObjectName(QStringLiteral("locationRow"));
    setAccessibleName(qstr(location_.name));
    connect(this, &QAbstractButton::clicked, this, [action = std::move(action)] {
        if (action)
            action();
    });

    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(4, 2, 4, 2);
    const int iconSide = fontMetrics().height() + 2;
    QLabel* symbol = symbolLabel(location_.symbolName, iconSide, symbolTint(location_));
    symbol->setObjectName(QStringLiteral("symbol"));
    symbol->setFixedWidth(symbolWidth);
    row->addWidget(symbol);

    auto* names = new QVBoxLayout;
    names->setSpacing(1);
    auto* name = new QLabel(qstr(location_.name));
    name->setObjectName(QStringLiteral("name"));
    names->addWidget(name);
    auto* path = new ElidedLabel(qstr(abbreviatingHome(location_.path)));
    path->setObjectName(QStringLiteral("path"));
    applyTextStyle(path, TextStyle::caption);
    applyTextColor(path, textColor(TextEmphasis::secondary));
    names->addWidget(path);
    row->addLayout(names, 1);

    restricted_ = TintedLabelStyle(NamedColor::orange).makeBody(QStringLiteral("lock.fill"), tr("Access Restricted"));
    restricted_->setObjectName(QStringLiteral("restricted"));
    applyTextStyle(restricted_, TextStyle::caption);
    applyTextColor(restricted_, NamedColor::orange);
    row->addWidget(restricted_);
    size_ = new QLabel;
    size_->setObjectName(QStringLiteral("size"));
    row->addWidget(size_);
    count_ = styledLabel(QString(), TextStyle::caption, TextEmphasis::secondary);
    count_->setObjectName(QStringLiteral("count"));
    count_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    count_->setFixedWidth(countWidth);
    row->addWidget(count_);
    unscanned_ = styledLabel(tr("Not scanned"), TextStyle::body, TextEmphasis::secondary);
    unscanned_->setObjectName(QStringLiteral("notScanned"));
    row->addWidget(unscanned_);
    row->addWidget(symbolLabel("chevron.right", fontMetrics().height() - 2, textColor(TextEmphasis::tertiary)));
    setFolder(std::move(folder));
}

void LocationRow::setFolder(std::optional<FolderItem> folder)
{
    folder_ = std::move(folder);
    restricted_->setVisible(folder_ && folder_->isRestricted);
    size_->setVisible(folder_.has_value());
    count_->setVisible(folder_.has_value());
    unscanned_->setVisible(!folder_);
    if (!folder_)
        return;
    size_->setText(qstr(ByteFormatter::string(folder_->totalAllocated)));
    count_->setText(LocaleText::count(folder_->fileCount, tr("file"), tr("files")));
}

QColor LocationRow::symbolTint(const KnownLocation& location)
{
    return location.category ? categoryColor(*location.category) : textColor(TextEmphasis::secondary);
}
