#include "ui/screens/system/ApplicationStorageView.h"

#include "analysis/ByteFormatter.h"
#include "analysis/HomeAbbreviation.h"
#include "app/AppModel.h"
#include "app/system/ApplicationScanner.h"
#include "app/ApplicationsStore.h"
#include "app/LatestLoad.h"
#include "app/QtText.h"
#include "platform/SystemPaths.h"
#include "scanning/FinderActions.h"
#include "scanning/FolderAnalyzer.h"
#include "ui/components/CommonText.h"
#include "ui/components/ElidedLabel.h"
#include "ui/components/TextStyle.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QProgressBar>
#include <QVBoxLayout>

#include <algorithm>

namespace {

QLabel* monospacedLabel(const QString& text, bool semibold, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    QFont font = label->font();
    font.setStyleHint(QFont::Monospace);
    font.setFamily(QStringLiteral("DejaVu Sans Mono"));
    font.setWeight(semibold ? QFont::DemiBold : QFont::Normal);
    label->setFont(font);
    label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    return label;
}

} // namespace

ApplicationStorageView::ApplicationStorageView(AppModel& model, ApplicationInfo app, QWidget* parent, Sizer sizer,
                                               std::string home)
    : QWidget(parent)
    , model_(model)
    , app_(std::move(app))
    , sizer_(sizer ? std::move(sizer)
                   : Sizer([](const std::string& path, StorageDatabase* database, std::stop_token stop) {
                         return FolderAnalyzer::cachedOrCalculatedSize(path, database, stop);
                     }))
    , home_(home.empty() ? SystemPaths::homeDirectory() : std::move(home))
    , load_(new LatestLoad(this))
    , progress_(new QProgressBar(this))
    , content_(new QWidget(this))
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    progress_->setObjectName(QStringLiteral("breakdownProgress"));
    progress_->setRange(0, 0);
    progress_->setTextVisible(false);
    progress_->setMaximumWidth(120);
    layout->addWidget(progress_);
    layout->addWidget(content_);

    auto* column = new QVBoxLayout(content_);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(6);
    const auto addRow = [](QVBoxLayout* to, QWidget* left, QLabel* right) {
        auto* row = new QWidget;
        auto* box = new QHBoxLayout(row);
        box->setContentsMargins(0, 0, 0, 0);
        box->addWidget(left, 1);
        box->addWidget(right);
        to->addWidget(row);
        return row;
    };
    bundle_ = monospacedLabel(QString(), false, content_);
    addRow(column, new QLabel(QStringLiteral("Application"), content_), bundle_);
    entries_ = new QVBoxLayout;
    entries_->setContentsMargins(0, 0, 0, 0);
    entries_->setSpacing(6);
    column->addLayout(entries_);

    auto* divider = new QFrame(content_);
    divider->setFrameShape(QFrame::HLine);
    divider->setFrameShadow(QFrame::Sunken);
    column->addWidget(divider);

    auto* totalLabel = new QLabel(QStringLiteral("Total"), content_);
    QFont bold = totalLabel->font();
    bold.setWeight(QFont::DemiBold);
    totalLabel->setFont(bold);
    total_ = monospacedLabel(QString(), true, content_);
    total_->setObjectName(QStringLiteral("breakdownTotal"));
    addRow(column, totalLabel, total_);

    auto* note = new QLabel(
        QStringLiteral("Application data is matched by app ID and name in ~/.config, ~/.cache and ~/.local/share. Apps may "
                       "store data elsewhere too."),
        content_);
    note->setWordWrap(true);
    note->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    applyTextStyle(note, TextStyle::caption2);
    applyTextColor(note, textColor(TextEmphasis::tertiary));
    column->addWidget(note);

    connect(&model_.apps(), &ApplicationsStore::bundleSizesChanged, this, &ApplicationStorageView::showTotals);
    load();
}

bool ApplicationStorageView::isLoading() const { return load_->isBusy(); }

void ApplicationStorageView::setApplication(ApplicationInfo app)
{
    if (app.id() == app_.id() && app.path == app_.path && app.bundleIdentifier == app_.bundleIdentifier) {
        app_ = std::move(app);
        return;
    }
    app_ = std::move(app);
    load();
}

void ApplicationStorageView::sortEntries(std::vector<ApplicationStorageBreakdown::Entry>& entries)
{
    std::stable_sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) { return a.bytes > b.bytes; });
}

std::int64_t ApplicationStorageView::total(const std::optional<FolderSizeResult>& bundle,
                                           const ApplicationStorageBreakdown& breakdown)
{
    std::int64_t sum = bundle ? bundle->allocatedSize : 0;
    for (const auto& entry : breakdown.entries)
        sum += entry.bytes;
    return sum;
}

QString ApplicationStorageView::sizeText(const ApplicationStorageBreakdown::Entry& entry)
{
    return qstr(ByteFormatter::string(entry.bytes)) + (entry.isPartial ? QStringLiteral("+") : QString());
}

std::optional<FolderSizeResult> ApplicationStorageView::bundleSize() const
{
    const auto& sizes = model_.apps().bundleSizes();
    const auto found = sizes.find(app_.path);
    if (found == sizes.end())
        return std::nullopt;
    return found->second;
}

void ApplicationStorageView::load()
{
    breakdown_.reset();
    showBreakdown();
    const std::string id = app_.id();
    load_->start(
        [app = app_, home = home_, sizer = sizer_, database = model_.database()](std::stop_token stop)
            -> std::optional<ApplicationStorageBreakdown> {
            ApplicationStorageBreakdown result;
            for (const auto& location : ApplicationScanner::dataLocations(app, home)) {
                if (stop.stop_requested())
                    return std::nullopt;
                const FolderSizeResult size = sizer(location.path, database.get(), stop);
                result.entries.push_back({location.kind, location.path, size.allocatedSize,
                                          size.restrictedFolderCount > 0 || size.wasCancelled});
            }
            // A run stopped during its last walk is overtaken: its answer must not show.
            if (stop.stop_requested())
                return std::nullopt;
            sortEntries(result.entries);
            return result;
        },
        [this, id](std::optional<ApplicationStorageBreakdown> result) {
            if (!result || id != app_.id())
                return;
            breakdown_ = std::move(result);
            showBreakdown();
        });
}

void ApplicationStorageView::showBreakdown()
{
    progress_->setVisible(!breakdown_);
    content_->setVisible(breakdown_.has_value());
    if (!breakdown_)
        return;
    const auto& entries = breakdown_->entries;
    // Rows are kept and filled again: an open menu or the pointer may be on one.
    while (rows_.size() < entries.size()) {
        auto* row = new QWidget(content_);
        row->setObjectName(QStringLiteral("breakdownEntry"));
        auto* box = new QHBoxLayout(row);
        box->setContentsMargins(0, 0, 0, 0);
        auto* names = new QVBoxLayout;
        names->setSpacing(1);
        auto* kind = new QLabel(row);
        names->addWidget(kind);
        auto* where = new ElidedLabel(QString(), Qt::ElideMiddle, row);
        applyTextStyle(where, TextStyle::caption2);
        applyTextColor(where, textColor(TextEmphasis::secondary));
        names->addWidget(where);
        box->addLayout(names, 1);
        auto* size = monospacedLabel(QString(), false, row);
        box->addWidget(size);
        const int index = static_cast<int>(rows_.size());
        row->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(row, &QWidget::customContextMenuRequested, this, [this, row, index](const QPoint& at) {
            if (QMenu* menu = entryMenu(index))
                menu->popup(row->mapToGlobal(at));
        });
        entries_->addWidget(row);
        rows_.push_back({row, kind, where, size});
    }
    for (std::size_t i = 0; i < rows_.size(); ++i) {
        const EntryRow& row = rows_[i];
        row.row->setVisible(i < entries.size());
        if (i >= entries.size())
            continue;
        const auto& entry = entries[i];
        row.kind->setText(qstr(rawValue(entry.kind)));
        const QString shown = qstr(abbreviatingHome(entry.path, home_));
        row.where->setText(shown);
        row.where->setToolTip(shown);
        row.size->setText(sizeText(entry));
    }
    showTotals();
}

void ApplicationStorageView::showTotals()
{
    if (!breakdown_)
        return;
    const auto bundle = bundleSize();
    bundle_->setText(qstr(ByteFormatter::string(bundle ? bundle->allocatedSize : 0)));
    total_->setText(qstr(ByteFormatter::string(total(bundle, *breakdown_))));
}

QMenu* ApplicationStorageView::entryMenu(int index)
{
    if (!breakdown_ || index < 0 || index >= static_cast<int>(breakdown_->entries.size()))
        return nullptr;
    // The menu belongs to the card, not to a row, and acts on the path it was opened on.
    auto* menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->addAction(CommonText::revealAction(), this,
                    [this, path = breakdown_->entries[static_cast<std::size_t>(index)].path] {
                        FinderActions::reveal({path}, model_.desktop());
                    });
    return menu;
}
