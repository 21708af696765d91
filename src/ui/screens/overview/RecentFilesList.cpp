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

RecentFilesList::RecentFilesList(AppModel& model, std::vector<FileItem> files, double nowSeconds, QWidget* parent)
    : QWidget(parent), model_(model)
{
    column_ = new QVBoxLayout(this);
    column_->setContentsMargins(0, 0, 0, 0);
    column_->setSpacing(8);
    empty_ = new QLabel(QStringLiteral("No files over 100 MB were modified in the last 30 days."));
    empty_->setObjectName(QStringLiteral("noRecentFiles"));
    empty_->setWordWrap(true);
    applyTextColor(empty_, textColor(TextEmphasis::secondary));
    column_->addWidget(empty_);
    column_->addStretch(1);
    setFiles(std::move(files), nowSeconds);
}

RecentFilesList::Row RecentFilesList::makeRow()
{
    Row row;
    row.view = new QWidget;
    row.view->setObjectName(QStringLiteral("recentFile"));
    auto* layout = new QHBoxLayout(row.view);
    layout->setContentsMargins(0, 0, 0, 0);
    row.icon = new QLabel;
    row.icon->setFixedWidth(18);
    row.icon->setAlignment(Qt::AlignCenter);
    layout->addWidget(row.icon);
    auto* text = new QVBoxLayout;
    text->setSpacing(1);
    row.name = new ElidedLabel(QString(), Qt::ElideMiddle);
    row.name->setObjectName(QStringLiteral("fileName"));
    row.modified = new QLabel(QStringLiteral("0"));
    row.modified->setObjectName(QStringLiteral("fileModified"));
    applyTextStyle(row.modified, TextStyle::caption);
    applyTextColor(row.modified, textColor(TextEmphasis::secondary));
    // An empty date line keeps the row as tall as the others.
    row.modified->setMinimumHeight(row.modified->sizeHint().height());
    text->addWidget(row.name);
    text->addWidget(row.modified);
    layout->addLayout(text, 1);
    row.size = new QLabel;
    row.size->setObjectName(QStringLiteral("fileSize"));
    layout->addWidget(row.size);
    row.view->installEventFilter(this);
    // Before the closing stretch.
    column_->insertWidget(column_->count() - 1, row.view);
    return row;
}

void RecentFilesList::setFiles(std::vector<FileItem> files, double nowSeconds)
{
    files_ = std::move(files);
    empty_->setVisible(files_.empty());
    while (rows_.size() < files_.size())
        rows_.push_back(makeRow());
    for (std::size_t index = 0; index < rows_.size(); ++index) {
        const Row& row = rows_[index];
        row.view->setVisible(index < files_.size());
        if (index >= files_.size())
            continue;
        const FileItem& file = files_[index];
        row.view->setToolTip(qstr(pathOf(file)));
        row.icon->setPixmap(SymbolIcons::pixmap(symbolName(file.category), 16, categoryColor(file.category),
                                                devicePixelRatioF()));
        row.name->setText(qstr(file.name));
        row.modified->setText(modifiedText(file, nowSeconds));
        row.size->setText(qstr(ByteFormatter::string(file.allocatedSize)));
    }
}

std::vector<QWidget*> RecentFilesList::rows() const
{
    std::vector<QWidget*> shown;
    for (std::size_t index = 0; index < files_.size(); ++index)
        shown.push_back(rows_[index].view);
    return shown;
}

QString RecentFilesList::modifiedText(const FileItem& file, double nowSeconds)
{
    return file.modified ? relativeDateText(*file.modified, nowSeconds) : QString();
}

bool RecentFilesList::eventFilter(QObject* watched, QEvent* event)
{
    const auto found =
        std::find_if(rows_.begin(), rows_.end(), [watched](const Row& row) { return row.view == watched; });
    const auto index = static_cast<std::size_t>(found - rows_.begin());
    if (found == rows_.end() || index >= files_.size())
        return QWidget::eventFilter(watched, event);
    const FileItem file = files_[index];
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
