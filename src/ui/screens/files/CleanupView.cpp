#include "ui/screens/files/CleanupView.h"

#include "analysis/ByteFormatter.h"
#include "analysis/CleanupAnalyzer.h"
#include "app/AppModel.h"
#include "app/LatestLoad.h"
#include "app/QtText.h"
#include "app/ScanCoordinator.h"
#include "index/StorageDatabase.h"
#include "platform/SystemPaths.h"
#include "ui/components/KeyedWidgetList.h"
#include "ui/components/EmptyStateView.h"
#include "ui/components/SectionCard.h"
#include "ui/components/SymbolIcons.h"
#include "ui/components/TextStyle.h"
#include "ui/screens/files/CleanupRecommendationRow.h"
#include "ui/components/ScreenParts.h"
#include "ui/screens/files/RefreshHeading.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>
#include <memory>

namespace {

QWidget* headerNote()
{
    auto* note = new QFrame;
    note->setObjectName(QStringLiteral("headerNote"));
    QColor fill = NamedColor::blue;
    fill.setAlphaF(0.08);
    note->setStyleSheet(QStringLiteral("#headerNote { background: rgba(%1, %2, %3, %4); border-radius: 10px; }")
                            .arg(fill.red())
                            .arg(fill.green())
                            .arg(fill.blue())
                            .arg(fill.alpha()));
    auto* row = new QHBoxLayout(note);
    row->setContentsMargins(12, 12, 12, 12);
    row->setSpacing(10);
    auto* symbol = new QLabel;
    auto* text = new QLabel(QStringLiteral(
        "Kestrelmoor never deletes anything automatically. Every action asks for confirmation and moves items to the "
        "Trash, where you can restore them. Items are never recommended just because they are large."));
    applyTextStyle(text, TextStyle::callout);
    text->setWordWrap(true);
    symbol->setPixmap(SymbolIcons::pixmap("hand.raised.fill", text->fontMetrics().height(), NamedColor::blue));
    row->addWidget(symbol, 0, Qt::AlignTop);
    row->addWidget(text, 1);
    return note;
}

QFrame* tintedDivider()
{
    auto* line = new QFrame;
    line->setObjectName(QStringLiteral("divider"));
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Plain);
    line->setStyleSheet(QStringLiteral("color: %1;").arg(textColor(TextEmphasis::quaternary).name(QColor::HexArgb)));
    return line;
}

} // namespace

CleanupView::CleanupView(AppModel& model, QWidget* parent, std::string systemRoot)
    : QScrollArea(parent), model_(model), systemRoot_(std::move(systemRoot)), load_(new LatestLoad(this))
{
    setObjectName(QStringLiteral("cleanupView"));
    QVBoxLayout* column = makeScrollPage(this);

    auto* heading = new RefreshHeading(QStringLiteral("Cleanup"));
    refresh_ = heading->refreshButton();
    connect(refresh_, &QPushButton::clicked, this, &CleanupView::load);
    column->addWidget(heading);
    column->addWidget(headerNote());

    progressLine_ = new QWidget;
    progressLine_->setObjectName(QStringLiteral("progressLine"));
    auto* progressRow = new QHBoxLayout(progressLine_);
    progressRow->setContentsMargins(0, 0, 0, 0);
    progressRow->addWidget(smallSpinner());
    progressText_ = new QLabel;
    progressText_->setObjectName(QStringLiteral("progressText"));
    applyTextColor(progressText_, textColor(TextEmphasis::secondary));
    progressRow->addWidget(progressText_, 1);
    column->addWidget(progressLine_);

    for (std::size_t level = 0; level < levels_.size(); ++level) {
        const CleanupSafety safety = allCleanupSafetyCases[level];
        auto* content = new QWidget;
        auto* rows = new QVBoxLayout(content);
        rows->setContentsMargins(0, 0, 0, 0);
        rows->setSpacing(6);
        levels_[level].rows = std::make_unique<KeyedWidgetList<Entry, std::string>>(
            rows, 0, [](const Entry& entry) { return std::vector<QWidget*>{entry.divider, entry.row}; });
        levels_[level].total = new QLabel;
        levels_[level].total->setObjectName(QStringLiteral("total"));
        applyTextColor(levels_[level].total, textColor(TextEmphasis::secondary));
        levels_[level].card = new SectionCard(cardTitle(safety), QLatin1String(cardSymbol(safety)), content,
                                              levels_[level].total);
        levels_[level].card->setObjectName(QStringLiteral("safetyCard"));
        levels_[level].card->hide();
        column->addWidget(levels_[level].card);
    }

    empty_ = new EmptyStateView(QStringLiteral("sparkles"), QStringLiteral("Nothing to recommend"),
                                QStringLiteral("No caches, logs or developer artifacts above the reporting thresholds "
                                               "were found."));
    empty_->setObjectName(QStringLiteral("emptyState"));
    empty_->setMinimumHeight(300);
    column->addWidget(empty_);
    column->addStretch(1);

    connect(load_, &LatestLoad::busyChanged, this, &CleanupView::refreshLoading);
    connect(&model_.scan(), &ScanCoordinator::dataVersionChanged, this, &CleanupView::load);
    refreshLoading();
    load();
}

bool CleanupView::isLoading() const
{
    return load_->isBusy();
}

std::vector<CleanupRecommendationRow*> CleanupView::rows() const
{
    std::vector<CleanupRecommendationRow*> shown;
    for (const LevelCard& card : levels_)
        for (const Entry& entry : card.rows->rows())
            shown.push_back(entry.row);
    return shown;
}

void CleanupView::load()
{
    std::shared_ptr<StorageDatabase> database = model_.database();
    auto progress = load_->reporterForNextStart<std::string>([this](const std::string& title) {
        current_ = qstr(title);
        progressText_->setText(QStringLiteral("Checking ") + current_ + QStringLiteral("…"));
    });
    load_->start(
        [database, home = SystemPaths::homeDirectory(), systemRoot = systemRoot_, progress](std::stop_token stop) {
            return analyze(home, database.get(), systemRoot, progress, stop);
        },
        [this](std::optional<std::vector<CleanupRecommendation>> result) {
            if (!result)
                return;
            recommendations_ = std::move(*result);
            showRecommendations();
            emit recommendationsChanged();
        });
}

std::optional<std::vector<CleanupRecommendation>>
CleanupView::analyze(const std::string& home, StorageDatabase* database, const std::string& systemRoot,
                     const std::function<void(const std::string&)>& progress, std::stop_token stop)
{
    std::vector<CleanupRecommendation> list = CleanupAnalyzer(home, database, systemRoot).analyze(progress, stop);
    if (stop.stop_requested())
        return std::nullopt;
    return list;
}

void CleanupView::refreshLoading()
{
    const bool loading = isLoading();
    refresh_->setEnabled(!loading);
    progressLine_->setVisible(loading);
    if (!loading) {
        current_.clear();
        progressText_->setText(QStringLiteral("Checking …"));
    }
    empty_->setVisible(!loading && recommendations_.empty());
}

CleanupView::Entry CleanupView::makeEntry(const CleanupRecommendation& item, QWidget* parent)
{
    Entry entry{.divider = tintedDivider(), .row = new CleanupRecommendationRow(model_, item, parent)};
    entry.row->setCopiedCommand(copiedCommand_);
    connect(entry.row, &CleanupRecommendationRow::commandCopied, this, &CleanupView::setCopiedCommand);
    return entry;
}

void CleanupView::showRecommendations()
{
    for (std::size_t level = 0; level < levels_.size(); ++level) {
        const std::vector<CleanupRecommendation> items = itemsOf(allCleanupSafetyCases[level], recommendations_);
        LevelCard& card = levels_[level];
        std::vector<std::string> keys;
        for (const CleanupRecommendation& item : items)
            keys.push_back(CleanupRecommendationRow::shapeKey(item));
        card.rows->replace(keys, [&](const std::string& key) {
            const auto item = std::find_if(items.begin(), items.end(), [&](const CleanupRecommendation& candidate) {
                return CleanupRecommendationRow::shapeKey(candidate) == key;
            });
            return makeEntry(*item, card.card->content());
        });
        for (std::size_t i = 0; i < items.size(); ++i) {
            const Entry& entry = card.rows->rows()[i];
            entry.row->update(items[i]);
            entry.divider->setVisible(i > 0);
            entry.row->setVisible(true);
        }
        card.total->setText(qstr(ByteFormatter::string(totalBytes(items))));
        card.card->setVisible(!items.empty());
    }
    refreshLoading();
}

void CleanupView::setCopiedCommand(const std::string& command)
{
    copiedCommand_ = command;
    for (CleanupRecommendationRow* row : rows())
        row->setCopiedCommand(copiedCommand_);
}

QString CleanupView::cardTitle(CleanupSafety safety)
{
    return qstr(rawValue(safety));
}

const char* CleanupView::cardSymbol(CleanupSafety safety)
{
    switch (safety) {
    case CleanupSafety::safe:
        return "checkmark.shield";
    case CleanupSafety::review:
        return "eye";
    case CleanupSafety::doNotRemove:
        return "hand.raised";
    }
    return "";
}

std::vector<CleanupRecommendation> CleanupView::itemsOf(CleanupSafety safety,
                                                        const std::vector<CleanupRecommendation>& list)
{
    std::vector<CleanupRecommendation> items;
    for (const CleanupRecommendation& item : list)
        if (item.safety == safety)
            items.push_back(item);
    return items;
}

std::int64_t CleanupView::totalBytes(const std::vector<CleanupRecommendation>& items)
{
    std::int64_t total = 0;
    for (const CleanupRecommendation& item : items)
        total += item.bytes;
    return total;
}
