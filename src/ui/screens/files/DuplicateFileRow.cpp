#include "ui/screens/files/DuplicateFileRow.h"

#include "analysis/FileItemPath.h"
#include "analysis/HomeAbbreviation.h"
#include "app/AppModel.h"
#include "app/QtText.h"
#include "scanning/FinderActions.h"
#include "ui/components/CategoryColor.h"
#include "ui/components/ElidedLabel.h"
#include "ui/components/FileContextMenu.h"
#include "ui/components/LocaleText.h"
#include "ui/components/SymbolIcons.h"
#include "ui/components/TextStyle.h"

#include <QCheckBox>
#include <QContextMenuEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QSignalBlocker>
#include <QVBoxLayout>

DuplicateFileRow::DuplicateFileRow(AppModel& model, FileItem file, const std::string& home, QWidget* parent)
    : QWidget(parent), model_(model), file_(std::move(file)), check_(new QCheckBox(this))
{
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(16, 3, 16, 3);
    connect(check_, &QCheckBox::toggled, this, &DuplicateFileRow::tickToggled);

    auto* icon = new QLabel(this);
    icon->setPixmap(SymbolIcons::pixmap(symbolName(file_.category), 16, categoryColor(file_.category)));
    icon->setFixedSize(20, 20);
    icon->setAlignment(Qt::AlignCenter);

    auto* names = new QVBoxLayout;
    names->setSpacing(1);
    auto* name = new ElidedLabel(qstr(file_.name), Qt::ElideMiddle, this);
    name->setObjectName(QStringLiteral("fileName"));
    auto* folder = new ElidedLabel(qstr(abbreviatingHome(file_.folderPath, home)), Qt::ElideLeft, this);
    folder->setObjectName(QStringLiteral("folderPath"));
    applyTextStyle(folder, TextStyle::caption);
    applyTextColor(folder, textColor(TextEmphasis::secondary));
    names->addWidget(name);
    names->addWidget(folder);

    auto* date = new QLabel(file_.modified ? LocaleText::abbreviatedDate(*file_.modified) : QString(), this);
    date->setObjectName(QStringLiteral("modified"));
    applyTextStyle(date, TextStyle::caption);
    applyTextColor(date, textColor(TextEmphasis::secondary));

    row->addWidget(check_);
    row->addWidget(icon);
    row->addLayout(names, 1);
    row->addWidget(date);
}

void DuplicateFileRow::setTicked(bool ticked, bool enabled)
{
    const QSignalBlocker blocker(check_);
    check_->setChecked(ticked);
    check_->setEnabled(enabled);
}

void DuplicateFileRow::mouseDoubleClickEvent(QMouseEvent*)
{
    FinderActions::reveal({pathOf(file_)}, model_.desktop());
}

void DuplicateFileRow::contextMenuEvent(QContextMenuEvent* event)
{
    if (FileContextMenu* menu = FileContextMenu::create(model_, {file_}, this))
        menu->popup(event->globalPos());
}
