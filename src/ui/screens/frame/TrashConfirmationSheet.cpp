#include "ui/screens/frame/TrashConfirmationSheet.h"

#include "analysis/ByteFormatter.h"
#include "app/AppModel.h"
#include "app/LatestLoad.h"
#include "app/QtText.h"
#include "platform/DesktopServices.h"
#include "platform/SystemPaths.h"
#include "scanning/SecurityUtils.h"
#include "ui/components/RowSelection.h"
#include "ui/components/SymbolIcons.h"
#include "ui/components/TextStyle.h"
#include "ui/screens/frame/TrashCandidateDelegate.h"
#include "ui/screens/frame/TrashCandidateListModel.h"

#include <QAction>
#include <QHBoxLayout>
#include <QLabel>
#include <QListView>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

#include <algorithm>

std::int64_t TrashConfirmationSheet::total(const TrashRequest& request)
{
    std::int64_t sum = 0;
    for (const TrashCandidate& candidate : request.candidates)
        sum += candidate.size.value_or(0);
    return sum;
}

TrashConfirmationSheet::TrashConfirmationSheet(AppModel& model, TrashRequest request, QWidget* parent)
    : QDialog(parent), model_(model), request_(std::move(request)), judging_(new LatestLoad(this))
{
    setObjectName(QStringLiteral("trashConfirmationSheet"));
    setWindowTitle(QStringLiteral("Move to Trash"));
    setWindowModality(Qt::WindowModal);
    setFixedWidth(sheetWidth);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(24, 24, 24, 24);
    layout->setSpacing(16);

    auto* header = new QHBoxLayout();
    header->setSpacing(12);
    auto* glyph = new QLabel(this);
    glyph->setPixmap(SymbolIcons::pixmap("trash", 28, NamedColor::red, devicePixelRatioF()));
    auto* heading = new QLabel(QStringLiteral("You are about to remove:"), this);
    heading->setObjectName(QStringLiteral("headingLabel"));
    applyTextStyle(heading, TextStyle::title3, QFont::DemiBold);
    header->addWidget(glyph);
    header->addWidget(heading, 1);
    layout->addLayout(header);

    candidates_ = new TrashCandidateListModel(SystemPaths::homeDirectory(), this);
    candidates_->setCandidates(request_.candidates);
    // The room beside the icons, with the scroll bar's width always kept free.
    const int textWidth = sheetWidth - 2 * 24 - style()->pixelMetric(QStyle::PM_ScrollBarExtent) -
                          TrashCandidateDelegate::iconSide - TrashCandidateDelegate::iconGap - 4;
    delegate_ = new TrashCandidateDelegate(textWidth, this);
    list_ = new QListView(this);
    list_->setObjectName(QStringLiteral("itemList"));
    list_->setModel(candidates_);
    list_->setItemDelegate(delegate_);
    list_->setFrameShape(QFrame::NoFrame);
    list_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    list_->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    list_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    list_->setUniformItemSizes(false);
    list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list_->setContextMenuPolicy(Qt::CustomContextMenu);
    // Drawn on the sheet itself, as a plain stack of rows.
    list_->viewport()->setAutoFillBackground(false);
    list_->setAutoFillBackground(false);
    list_->setStyleSheet(QStringLiteral("QListView { background: transparent; }"));
    layout->addWidget(list_);
    connect(list_, &QListView::customContextMenuRequested, this, &TrashConfirmationSheet::showListMenu);
    auto* copy = new QAction(QStringLiteral("Copy"), list_);
    copy->setShortcut(QKeySequence::Copy);
    copy->setShortcutContext(Qt::WidgetShortcut);
    connect(copy, &QAction::triggered, this, &TrashConfirmationSheet::copySelectedPaths);
    list_->addAction(copy);

    if (request_.candidates.size() >= 2) {
        auto* totalLine = new QLabel(QStringLiteral("Total: %1 in %2 items")
                                         .arg(qstr(ByteFormatter::string(total(request_))))
                                         .arg(static_cast<qlonglong>(request_.candidates.size())),
                                     this);
        totalLine->setObjectName(QStringLiteral("totalLabel"));
        applyTextStyle(totalLine, TextStyle::subheadline, QFont::Medium);
        layout->addWidget(totalLine);
    }

    auto* warning = new QLabel(
        QStringLiteral("Items are moved to the Trash, not deleted. You can put them back from the Trash until you empty it."),
        this);
    warning->setObjectName(QStringLiteral("warningLabel"));
    warning->setWordWrap(true);
    applyTextStyle(warning, TextStyle::callout);
    applyTextColor(warning, textColor(TextEmphasis::secondary));
    layout->addWidget(warning);

    auto* buttons = new QHBoxLayout();
    buttons->addStretch(1);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
    cancel->setObjectName(QStringLiteral("cancelButton"));
    moveButton_ = new QPushButton(QStringLiteral("Move to Trash"), this);
    moveButton_->setObjectName(QStringLiteral("moveButton"));
    QPalette destructive = moveButton_->palette();
    destructive.setColor(QPalette::ButtonText, NamedColor::red);
    moveButton_->setPalette(destructive);
    // Neither button may answer Return.
    for (QPushButton* button : {cancel, moveButton_}) {
        button->setAutoDefault(false);
        button->setDefault(false);
    }
    buttons->addWidget(cancel);
    buttons->addWidget(moveButton_);
    layout->addLayout(buttons);

    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(moveButton_, &QPushButton::clicked, this, &TrashConfirmationSheet::confirm);

    fitListHeight();
    // Enabled once every item's cautions are shown: the user confirms what the sheet says.
    moveButton_->setEnabled(false);
    judge();
}

bool TrashConfirmationSheet::isJudging() const
{
    return judging_->isBusy();
}

void TrashConfirmationSheet::judge()
{
    // The sheet's own copy: the request may be long, and the sheet may close first.
    std::vector<TrashCandidate> candidates = request_.candidates;
    std::string home = SystemPaths::homeDirectory();
    judging_->start(
        [candidates = std::move(candidates), home = std::move(home)](std::stop_token stop) {
            return TrashCandidateListModel::judge(candidates, home, SecurityUtils::appOwnedPaths(), stop);
        },
        [this](std::vector<std::pair<std::string, TrashCandidateJudgement>> judged) {
            candidates_->setJudgements(judged);
            fitListHeight();
            moveButton_->setEnabled(!isWorking_);
        },
        // Without the cautions the items still pass the path rules again when they are moved.
        [this](const std::string&) { moveButton_->setEnabled(!isWorking_); });
}

void TrashConfirmationSheet::fitListHeight()
{
    // Only the first rows matter: the list never grows past its limit.
    int content = 0;
    const QStyleOptionViewItem option;
    for (int row = 0; row < candidates_->rowCount() && content <= maximumListHeight; ++row)
        content += delegate_->sizeHint(option, candidates_->index(row, 0)).height();
    const bool scrolls = content > maximumListHeight;
    list_->setVerticalScrollBarPolicy(scrolls ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
    list_->setFixedHeight(std::min(maximumListHeight, content + 2));
    adjustSize();
}

QString TrashConfirmationSheet::selectedPaths() const
{
    QModelIndexList selected = list_->selectionModel()->selectedRows();
    std::sort(selected.begin(), selected.end(),
              [](const QModelIndex& a, const QModelIndex& b) { return a.row() < b.row(); });
    QStringList paths;
    for (const QModelIndex& index : selected)
        paths << index.data(TrashCandidateListModel::pathRole).toString();
    return paths.join(QLatin1Char('\n'));
}

void TrashConfirmationSheet::copySelectedPaths()
{
    const QString paths = selectedPaths();
    if (!paths.isEmpty())
        model_.desktop().copyText(stdstr(paths));
}

void TrashConfirmationSheet::showListMenu(const QPoint& position)
{
    if (!list_->indexAt(position).isValid())
        return;
    selectForContextMenu(*list_, list_->indexAt(position));
    const qsizetype count = list_->selectionModel()->selectedRows().size();
    if (count == 0)
        return;
    auto* menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->addAction(count == 1 ? QStringLiteral("Copy Path") : QStringLiteral("Copy %1 Paths").arg(count), this,
                    &TrashConfirmationSheet::copySelectedPaths);
    menu->popup(list_->viewport()->mapToGlobal(position));
}

void TrashConfirmationSheet::confirm()
{
    if (isWorking_)
        return;
    isWorking_ = true;
    moveButton_->setEnabled(false);
    QPointer<TrashConfirmationSheet> self(this);
    model_.confirmTrash(request_, [self] {
        if (!self)
            return;
        self->isWorking_ = false;
        self->moveButton_->setEnabled(true);
    });
}
