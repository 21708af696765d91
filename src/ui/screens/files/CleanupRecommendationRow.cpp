#include "ui/screens/files/CleanupRecommendationRow.h"

#include "analysis/ByteFormatter.h"
#include "analysis/HomeAbbreviation.h"
#include "app/AppModel.h"
#include "app/QtText.h"
#include "platform/DesktopServices.h"
#include "platform/Paths.h"
#include "scanning/FinderActions.h"
#include "ui/components/ElidedLabel.h"
#include "ui/components/SymbolIcons.h"
#include "ui/components/TextStyle.h"
#include "ui/components/ScreenParts.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

using Kind = CleanupRecommendation::Action::Kind;

QPushButton* smallButton(const QString& title, const char* name)
{
    auto* button = new QPushButton(title);
    button->setObjectName(QLatin1String(name));
    button->setAutoDefault(false);
    button->setFont(textStyleFont(TextStyle::caption));
    return button;
}

} // namespace

CleanupRecommendationRow::CleanupRecommendationRow(AppModel& model, CleanupRecommendation item, QWidget* parent)
    : QWidget(parent), model_(model), item_(std::move(item))
{
    setObjectName(QStringLiteral("cleanupRow"));
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 4, 0, 4);
    row->setSpacing(10);

    symbol_ = new QLabel;
    symbol_->setObjectName(QStringLiteral("symbol"));
    symbol_->setFixedWidth(22);
    symbol_->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    showSafety();
    row->addWidget(symbol_, 0, Qt::AlignTop);

    auto* text = new QVBoxLayout;
    text->setSpacing(3);
    QLabel* title = styledLabel(qstr(item_.title), TextStyle::body, TextEmphasis::primary, QFont::Medium);
    title->setObjectName(QStringLiteral("title"));
    text->addWidget(title);
    detail_ = styledLabel(qstr(item_.detail), TextStyle::caption, TextEmphasis::secondary);
    detail_->setObjectName(QStringLiteral("detail"));
    detail_->setWordWrap(true);
    text->addWidget(detail_);
    for (const std::string& path : item_.paths) {
        auto* line = new ElidedLabel(qstr(abbreviatingHome(path)), Qt::ElideMiddle);
        line->setObjectName(QStringLiteral("path"));
        line->setFont(monospacedFont(TextStyle::caption2));
        applyTextColor(line, textColor(TextEmphasis::tertiary));
        text->addWidget(line);
    }
    if (item_.action.kind() == Kind::command) {
        auto* commandRow = new QHBoxLayout;
        auto* command = new QLabel(qstr(item_.action.commandText()));
        command->setObjectName(QStringLiteral("command"));
        command->setFont(monospacedFont(TextStyle::caption));
        command->setTextInteractionFlags(Qt::TextSelectableByMouse);
        const QColor fill = textColor(TextEmphasis::quaternary);
        command->setStyleSheet(QStringLiteral("QLabel { background: rgba(%1, %2, %3, %4); border-radius: 4px; "
                                              "padding: 2px 6px; }")
                                   .arg(fill.red())
                                   .arg(fill.green())
                                   .arg(fill.blue())
                                   .arg(fill.alpha()));
        commandRow->addWidget(command);
        copy_ = smallButton(QStringLiteral("Copy Command"), "copyCommand");
        connect(copy_, &QPushButton::clicked, this, &CleanupRecommendationRow::copyCommand);
        commandRow->addWidget(copy_);
        commandRow->addStretch(1);
        text->addLayout(commandRow);
        QLabel* note = styledLabel(QStringLiteral("Run this in a terminal. Kestrelmoor doesn't run cleanup commands for you."),
                                   TextStyle::caption2, TextEmphasis::tertiary);
        note->setObjectName(QStringLiteral("terminalNote"));
        text->addWidget(note);
    }
    text->addStretch(1);
    row->addLayout(text, 1);

    auto* trailing = new QVBoxLayout;
    trailing->setSpacing(6);
    size_ = styledLabel(sizeText(item_.bytes, item_.isPartial), TextStyle::headline, TextEmphasis::primary,
                        QFont::DemiBold);
    size_->setObjectName(QStringLiteral("size"));
    trailing->addWidget(size_, 0, Qt::AlignRight);
    if (item_.action.kind() == Kind::moveToTrash) {
        action_ = smallButton(QStringLiteral("Move to Trash…"), "moveToTrash");
        connect(action_, &QPushButton::clicked, this, &CleanupRecommendationRow::moveToTrash);
    } else if (item_.action.kind() == Kind::openInFinder) {
        action_ = smallButton(QStringLiteral("Open Trash"), "openTrash");
        connect(action_, &QPushButton::clicked, this, &CleanupRecommendationRow::openTrash);
    }
    if (action_)
        trailing->addWidget(action_, 0, Qt::AlignRight);
    if (!item_.paths.empty()) {
        reveal_ = smallButton(QStringLiteral("Reveal"), "reveal");
        reveal_->setFlat(true);
        reveal_->setCursor(Qt::PointingHandCursor);
        const QColor link = accentColor();
        reveal_->setStyleSheet(QStringLiteral("QPushButton { border: none; padding: 0 2px; color: %1; }")
                                   .arg(link.name()));
        connect(reveal_, &QPushButton::clicked, this, &CleanupRecommendationRow::reveal);
        trailing->addWidget(reveal_, 0, Qt::AlignRight);
    }
    trailing->addStretch(1);
    row->addLayout(trailing);
}

std::string CleanupRecommendationRow::shapeKey(const CleanupRecommendation& item)
{
    return item.id() + '\n' + std::to_string(static_cast<int>(item.action.kind())) + '\n' +
           item.action.commandText() + '\n' + item.symbolName;
}

void CleanupRecommendationRow::update(const CleanupRecommendation& item)
{
    const bool safetyChanged = item.safety != item_.safety;
    item_ = item;
    detail_->setText(qstr(item_.detail));
    size_->setText(sizeText(item_.bytes, item_.isPartial));
    if (safetyChanged)
        showSafety();
}

void CleanupRecommendationRow::showSafety()
{
    symbol_->setPixmap(SymbolIcons::pixmap(item_.symbolName, 18, safetyColor(item_.safety), devicePixelRatioF()));
}

void CleanupRecommendationRow::setCopiedCommand(const std::optional<std::string>& command)
{
    if (!copy_)
        return;
    const bool copied = command && *command == item_.action.commandText();
    copy_->setText(copied ? QStringLiteral("Copied") : QStringLiteral("Copy Command"));
}

void CleanupRecommendationRow::copyCommand()
{
    const std::string& command = item_.action.commandText();
    model_.desktop().copyText(command);
    emit commandCopied(command);
}

void CleanupRecommendationRow::moveToTrash()
{
    model_.requestTrash(trashCandidates(item_));
}

void CleanupRecommendationRow::openTrash()
{
    FinderActions::openTrash(model_.desktop(), model_.fileTrasher());
}

void CleanupRecommendationRow::reveal()
{
    if (!item_.paths.empty())
        FinderActions::reveal({item_.paths.front()}, model_.desktop());
}

QColor CleanupRecommendationRow::safetyColor(CleanupSafety safety)
{
    switch (safety) {
    case CleanupSafety::safe:
        return NamedColor::green;
    case CleanupSafety::review:
        return NamedColor::orange;
    case CleanupSafety::doNotRemove:
        return NamedColor::red;
    }
    return NamedColor::gray;
}

QString CleanupRecommendationRow::sizeText(std::int64_t bytes, bool isPartial)
{
    return qstr(ByteFormatter::string(bytes)) + (isPartial ? QStringLiteral("+") : QString());
}

std::vector<TrashCandidate> CleanupRecommendationRow::trashCandidates(const CleanupRecommendation& item)
{
    // Without a size per path the confirmation would total the items as nothing.
    const bool sized = item.pathBytes.size() == item.paths.size();
    std::vector<TrashCandidate> candidates;
    for (std::size_t i = 0; i < item.paths.size(); ++i) {
        std::optional<std::int64_t> size;
        if (item.paths.size() == 1)
            size = item.bytes;
        else if (sized)
            size = item.pathBytes[i];
        candidates.push_back({item.paths[i], Paths::lastComponent(item.paths[i]), size, true, item.detail});
    }
    return candidates;
}
