#include "ui/screens/frame/TrashConfirmationSheet.h"

#include "analysis/ByteFormatter.h"
#include "analysis/HomeAbbreviation.h"
#include "app/AppModel.h"
#include "app/QtText.h"
#include "platform/SystemPaths.h"
#include "scanning/SecurityUtils.h"
#include "ui/components/SymbolIcons.h"
#include "ui/components/TextStyle.h"

#include <QFileIconProvider>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QScrollArea>
#include <QStyle>
#include <QVBoxLayout>

namespace {

QWidget* candidateRow(const TrashCandidate& candidate, const std::string& home, QWidget* parent)
{
    auto* row = new QWidget(parent);
    row->setObjectName(QStringLiteral("candidateRow"));
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(10);
    layout->setAlignment(Qt::AlignTop);

    auto* icon = new QLabel(row);
    icon->setPixmap(QFileIconProvider().icon(QFileInfo(qstr(candidate.path))).pixmap(32, 32));
    icon->setFixedSize(32, 32);
    layout->addWidget(icon, 0, Qt::AlignTop);

    auto* texts = new QVBoxLayout();
    texts->setSpacing(3);
    auto* name = new QLabel(qstr(candidate.name), row);
    name->setObjectName(QStringLiteral("nameLabel"));
    name->setTextFormat(Qt::PlainText);
    applyTextStyle(name, TextStyle::headline);
    texts->addWidget(name);

    const QString sizeText = candidate.size ? qstr(ByteFormatter::string(*candidate.size)) : QStringLiteral("Unknown");
    auto* size = new QLabel(QStringLiteral("Size: ") + sizeText, row);
    size->setObjectName(QStringLiteral("sizeLabel"));
    texts->addWidget(size);

    auto* location = new QLabel(QStringLiteral("Location: ") + qstr(abbreviatingHome(candidate.path, home)), row);
    location->setObjectName(QStringLiteral("locationLabel"));
    location->setTextFormat(Qt::PlainText);
    location->setTextInteractionFlags(Qt::TextSelectableByMouse);
    location->setWordWrap(true);
    applyTextColor(location, textColor(TextEmphasis::secondary));
    texts->addWidget(location);

    if (candidate.note) {
        auto* note = new QLabel(qstr(*candidate.note), row);
        note->setObjectName(QStringLiteral("noteLabel"));
        note->setTextFormat(Qt::PlainText);
        note->setWordWrap(true);
        applyTextStyle(note, TextStyle::caption);
        applyTextColor(note, textColor(TextEmphasis::secondary));
        texts->addWidget(note);
    }

    const PathSafety verdict = SecurityUtils::evaluate(candidate.path, home, SecurityUtils::appOwnedPaths(), true);
    if (verdict.isCaution()) {
        auto* caution = new QWidget(row);
        caution->setObjectName(QStringLiteral("cautionLabel"));
        auto* cautionLayout = new QHBoxLayout(caution);
        cautionLayout->setContentsMargins(0, 0, 0, 0);
        cautionLayout->setSpacing(4);
        auto* glyph = new QLabel(caution);
        glyph->setPixmap(SymbolIcons::pixmap("exclamationmark.triangle.fill", 12, NamedColor::orange,
                                             caution->devicePixelRatioF()));
        auto* reason = new QLabel(qstr(verdict.reason()), caution);
        reason->setObjectName(QStringLiteral("cautionText"));
        reason->setTextFormat(Qt::PlainText);
        reason->setWordWrap(true);
        applyTextStyle(reason, TextStyle::caption);
        applyTextColor(reason, NamedColor::orange);
        cautionLayout->addWidget(glyph, 0, Qt::AlignTop);
        cautionLayout->addWidget(reason, 1);
        texts->addWidget(caution);
    }
    layout->addLayout(texts, 1);
    return row;
}

} // namespace

std::int64_t TrashConfirmationSheet::total(const TrashRequest& request)
{
    std::int64_t sum = 0;
    for (const TrashCandidate& candidate : request.candidates)
        sum += candidate.size.value_or(0);
    return sum;
}

TrashConfirmationSheet::TrashConfirmationSheet(AppModel& model, TrashRequest request, QWidget* parent)
    : QDialog(parent), model_(model), request_(std::move(request))
{
    setObjectName(QStringLiteral("trashConfirmationSheet"));
    setWindowTitle(QStringLiteral("Move to Trash"));
    setWindowModality(Qt::WindowModal);
    setFixedWidth(520);

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

    const std::string home = SystemPaths::homeDirectory();
    auto* list = new QWidget();
    auto* listLayout = new QVBoxLayout(list);
    listLayout->setContentsMargins(0, 0, 0, 0);
    listLayout->setSpacing(12);
    for (const TrashCandidate& candidate : request_.candidates)
        listLayout->addWidget(candidateRow(candidate, home, list));
    listLayout->addStretch(1);
    auto* scroll = new QScrollArea(this);
    scroll->setObjectName(QStringLiteral("itemList"));
    scroll->setWidget(list);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // The rows wrap, so their height depends on the width they get inside the sheet;
    // the larger of the two estimates never leaves a row cut off.
    const int contentWidth = 520 - 2 * 24 - style()->pixelMetric(QStyle::PM_ScrollBarExtent);
    const int contentHeight = std::max(list->sizeHint().height(), listLayout->heightForWidth(contentWidth));
    scroll->setFixedHeight(std::min(280, contentHeight + 2));
    scroll->setVerticalScrollBarPolicy(contentHeight + 2 > 280 ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
    layout->addWidget(scroll);

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
