#include "ui/screens/overview/RecentFilesList.h"

#include "analysis/ByteFormatter.h"
#include "analysis/FileItemPath.h"
#include "app/AppModel.h"
#include "app/QtText.h"
#include "scanning/FinderActions.h"
#include "ui/components/CategoryColor.h"
#include "ui/components/ElidedLabel.h"
#include "ui/components/FileContextMenu.h"
#include "ui/components/RelativeDateText.h"
#include "ui/components/SymbolIcons.h"
#include "ui/components/TextStyle.h"

#include <QContextMenuEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include <algorithm>
#include <utility>

namespace {

QWidget* fileRow(const FileItem& file, double nowSeconds)
{
    auto* row = new QWidget;
    row->setObjectName(QStringLiteral("recentFile"));
    row->setToolTip(qstr(pathOf(file)));
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);

    auto* icon = new QLabel;
    icon->setFixedWidth(18);
    icon->setAlignment(Qt::AlignCenter);
    icon->setPixmap(SymbolIcons::pixmap(symbolName(file.category), 16, categoryColor(file.category),
                                        row->devicePixelRatioF()));
    layout->addWidget(icon);

    auto* text = new QVBoxLayout;
    text->setSpacing(1);
    auto* name = new ElidedLabel(qstr(file.name), Qt::ElideMiddle);
    name->setObjectName(QStringLiteral("fileName"));
    auto* modified = new QLabel(RecentFilesList::modifiedText(file, nowSeconds));
    modified->setObjectName(QStringLiteral("fileModified"));
    applyTextStyle(modified, TextStyle::caption);
    applyTextColor(modified, textColor(TextEmphasis::secondary));
    // An empty date line keeps the row as tall as the others.
    const QString shown = modified->text();
    modified->setText(QStringLiteral("0"));
    modified->setMinimumHeight(modified->sizeHint().height());
    modified->setText(shown);
    text->addWidget(name);
    text->addWidget(modified);
    layout->addLayout(text, 1);

    auto* size = new QLabel(qstr(ByteFormatter::string(file.allocatedSize)));
    size->setObjectName(QStringLiteral("fileSize"));
    layout->addWidget(size);
    return row;
}

} // namespace

RecentFilesList::RecentFilesList(AppModel& model, std::vector<FileItem> files, double nowSeconds, QWidget* parent)
    : QWidget(parent), model_(model), files_(std::move(files))
{
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(8);
    if (files_.empty()) {
        auto* empty = new QLabel(QStringLiteral("No files over 100 MB were modified in the last 30 days."));
        empty->setObjectName(QStringLiteral("noRecentFiles"));
        empty->setWordWrap(true);
        applyTextColor(empty, textColor(TextEmphasis::secondary));
        column->addWidget(empty);
    }
    for (const FileItem& file : files_) {
        QWidget* row = fileRow(file, nowSeconds);
        row->installEventFilter(this);
        rows_.push_back(row);
        column->addWidget(row);
    }
    column->addStretch(1);
}

QString RecentFilesList::modifiedText(const FileItem& file, double nowSeconds)
{
    return file.modified ? relativeDateText(*file.modified, nowSeconds) : QString();
}

bool RecentFilesList::eventFilter(QObject* watched, QEvent* event)
{
    const auto found = std::find(rows_.begin(), rows_.end(), watched);
    if (found == rows_.end())
        return QWidget::eventFilter(watched, event);
    const FileItem& file = files_[static_cast<std::size_t>(found - rows_.begin())];
    if (event->type() == QEvent::MouseButtonDblClick) {
        FinderActions::reveal({pathOf(file)}, model_.desktop());
        return true;
    }
    if (event->type() == QEvent::ContextMenu) {
        if (FileContextMenu* menu = FileContextMenu::create(model_, {file}, this))
            menu->popup(static_cast<QContextMenuEvent*>(event)->globalPos());
        return true;
    }
    return QWidget::eventFilter(watched, event);
}
