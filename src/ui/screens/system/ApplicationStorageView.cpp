#include "ui/screens/system/ApplicationStorageView.h"

#include "analysis/ByteFormatter.h"
#include "analysis/HomeAbbreviation.h"
#include "app/AppModel.h"
#include "app/ApplicationScanner.h"
#include "app/ApplicationsStore.h"
#include "app/LatestLoad.h"
#include "app/QtText.h"
#include "platform/SystemPaths.h"
#include "scanning/FinderActions.h"
#include "scanning/FolderAnalyzer.h"
#include "ui/components/ScreenParts.h"
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
    , layout_(new QVBoxLayout(this))
{
    layout_->setContentsMargins(0, 0, 0, 0);
    layout_->setSpacing(6);
    connect(&model_.apps(), &ApplicationsStore::bundleSizesChanged, this, &ApplicationStorageView::rebuild);
    load();
}

bool ApplicationStorageView::isLoading() const { return load_->isBusy(); }

void ApplicationStorageView::setApplication(ApplicationInfo app)
{
    if (app.path == app_.path) {
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
    rebuild();
    const std::string path = app_.path;
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
        [this, path](std::optional<ApplicationStorageBreakdown> result) {
            if (!result || path != app_.path)
                return;
            breakdown_ = std::move(result);
            rebuild();
        });
}

void ApplicationStorageView::rebuild()
{
    clearLayout(layout_);
    if (!breakdown_) {
        auto* progress = new QProgressBar(this);
        progress->setObjectName(QStringLiteral("breakdownProgress"));
        progress->setRange(0, 0);
        progress->setTextVisible(false);
        progress->setMaximumWidth(120);
        layout_->addWidget(progress);
        return;
    }
    const auto bundle = bundleSize();
    auto addRow = [this](QWidget* left, QLabel* right) {
        auto* row = new QWidget(this);
        auto* box = new QHBoxLayout(row);
        box->setContentsMargins(0, 0, 0, 0);
        box->addWidget(left, 1);
        box->addWidget(right);
        layout_->addWidget(row);
        return row;
    };
    auto* application = new QLabel(QStringLiteral("Application"), this);
    auto* applicationValue = monospacedLabel(qstr(ByteFormatter::string(bundle ? bundle->allocatedSize : 0)), false, this);
    addRow(application, applicationValue);

    for (const auto& entry : breakdown_->entries) {
        auto* names = new QWidget(this);
        auto* stack = new QVBoxLayout(names);
        stack->setContentsMargins(0, 0, 0, 0);
        stack->setSpacing(1);
        stack->addWidget(new QLabel(qstr(rawValue(entry.kind)), names));
        auto* where = new QLabel(names);
        applyTextStyle(where, TextStyle::caption2);
        applyTextColor(where, textColor(TextEmphasis::secondary));
        const QString shown = qstr(abbreviatingHome(entry.path, home_));
        where->setToolTip(shown);
        where->setText(where->fontMetrics().elidedText(shown, Qt::ElideMiddle, 220));
        stack->addWidget(where);
        QWidget* row = addRow(names, monospacedLabel(sizeText(entry), false, this));
        row->setObjectName(QStringLiteral("breakdownEntry"));
        row->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(row, &QWidget::customContextMenuRequested, row, [this, row, path = entry.path](const QPoint& at) {
            QMenu menu(row);
            menu.addAction(QStringLiteral("Reveal in Finder"), [this, path] { FinderActions::reveal({path}, model_.desktop()); });
            menu.exec(row->mapToGlobal(at));
        });
    }

    auto* divider = new QFrame(this);
    divider->setFrameShape(QFrame::HLine);
    divider->setFrameShadow(QFrame::Sunken);
    layout_->addWidget(divider);

    auto* totalLabel = new QLabel(QStringLiteral("Total"), this);
    QFont bold = totalLabel->font();
    bold.setWeight(QFont::DemiBold);
    totalLabel->setFont(bold);
    auto* totalValue = monospacedLabel(qstr(ByteFormatter::string(total(bundle, *breakdown_))), true, this);
    totalValue->setObjectName(QStringLiteral("breakdownTotal"));
    addRow(totalLabel, totalValue);

    auto* note = new QLabel(
        QStringLiteral("Application data is matched by bundle ID and name in ~/Library. Apps may store data elsewhere too."),
        this);
    note->setWordWrap(true);
    applyTextStyle(note, TextStyle::caption2);
    applyTextColor(note, textColor(TextEmphasis::tertiary));
    layout_->addWidget(note);
}
