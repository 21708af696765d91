#include "ui/screens/files/LargestFilesView.h"

#include "analysis/ByteFormatter.h"
#include "analysis/HomeAbbreviation.h"
#include "analysis/ReportExporter.h"
#include "app/AppModel.h"
#include "app/LatestLoad.h"
#include "app/QtText.h"
#include "app/ScanCoordinator.h"
#include "index/StorageDatabase.h"
#include "ui/components/CategoryColor.h"
#include "ui/components/CommonText.h"
#include "ui/components/DesktopServicesFactory.h"
#include "ui/components/EmptyStateView.h"
#include "ui/components/FileDialogSavePanel.h"
#include "ui/components/FileTable.h"
#include "ui/components/LocaleText.h"
#include "ui/components/ScanRequiredView.h"
#include "ui/components/ScreenParts.h"
#include "ui/components/SizeBarChart.h"
#include "ui/components/SymbolIcons.h"
#include "ui/components/TextStyle.h"
#include "ui/screens/files/ChartPane.h"
#include "ui/screens/files/FileDetailView.h"

#include <QComboBox>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QProgressBar>
#include <QSignalBlocker>
#include <QSplitter>
#include <QStackedWidget>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <charconv>
#include <tuple>

namespace {

constexpr std::int64_t smallestCount = 1;
constexpr std::int64_t largestCount = 10000;
constexpr int countStep = 100;
constexpr int chartBars = 10;
// Bursts of changes (stepping, typing, picking) reach the index as one query.
constexpr int settleMilliseconds = 150;

QToolButton* stepButton(Qt::ArrowType arrow, QWidget* parent)
{
    auto* button = new QToolButton(parent);
    button->setArrowType(arrow);
    button->setFixedSize(18, 12);
    button->setAutoRepeat(true);
    return button;
}

} // namespace

QString LargestFilesView::title(Limit limit)
{
    switch (limit) {
    case Limit::top10: return QStringLiteral("Top 10");
    case Limit::top50: return QStringLiteral("Top 50");
    case Limit::top100: return QStringLiteral("Top 100");
    case Limit::top500: return QStringLiteral("Top 500");
    case Limit::custom: return QStringLiteral("Custom");
    }
    return {};
}

std::int64_t LargestFilesView::effectiveCount(Limit limit, std::int64_t customCount)
{
    switch (limit) {
    case Limit::top10: return 10;
    case Limit::top50: return 50;
    case Limit::top100: return 100;
    case Limit::top500: return 500;
    case Limit::custom: return std::clamp(customCount, smallestCount, largestCount);
    }
    return 100;
}

std::int64_t LargestFilesView::steppedCount(std::int64_t customCount, int steps)
{
    const std::int64_t within = std::clamp(customCount, smallestCount, largestCount);
    return std::clamp(within + std::int64_t{steps} * countStep, smallestCount, largestCount);
}

std::optional<std::int64_t> LargestFilesView::fileID(const std::string& chartItemID)
{
    std::string_view text = chartItemID;
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    if (text.empty() || !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return std::nullopt;
    // Parsed with its sign so that the smallest 64-bit number still fits.
    const std::string signedText = (negative ? "-" : "") + std::string(text);
    std::int64_t id = 0;
    const auto [end, error] = std::from_chars(signedText.data(), signedText.data() + signedText.size(), id);
    if (error != std::errc() || end != signedText.data() + signedText.size())
        return std::nullopt;
    return id;
}

std::vector<SizeBarItem> LargestFilesView::chartItems(const std::vector<FileItem>& files)
{
    std::vector<SizeBarItem> items;
    const std::size_t count = std::min<std::size_t>(chartBars, files.size());
    for (std::size_t i = 0; i < count; ++i) {
        const FileItem& file = files[i];
        items.push_back({std::to_string(file.id), file.name, file.allocatedSize, categoryColor(file.category)});
    }
    return items;
}

std::int64_t LargestFilesView::countedBytes(const std::vector<FileItem>& files)
{
    // The index keeps these of the file itself, not of the name.
    using Storage = std::tuple<std::int64_t, std::int64_t, std::optional<double>, std::optional<double>>;
    std::set<Storage> linked;
    std::int64_t total = 0;
    for (const FileItem& file : files) {
        if (file.flags.contains(FileItem::Flags::hardLink) &&
            !linked.insert({file.size, file.allocatedSize, file.created, file.modified}).second)
            continue;
        total += file.allocatedSize;
    }
    return total;
}

QString LargestFilesView::summaryText(const std::vector<FileItem>& files)
{
    const std::int64_t total = countedBytes(files);
    return LocaleText::count(static_cast<std::int64_t>(files.size()), QStringLiteral("file"), QStringLiteral("files")) +
           QStringLiteral(" \u00b7 ") +
           qstr(ByteFormatter::string(total));
}

QString LargestFilesView::navigationTitle(std::optional<StorageCategory> category)
{
    if (!category)
        return QStringLiteral("Largest Files");
    return QStringLiteral("Largest Files \u2014 ") + qstr(displayName(*category));
}

std::optional<FileItem> LargestFilesView::selectedFile(const std::vector<FileItem>& files,
                                                       const std::set<std::int64_t>& selection)
{
    if (selection.size() != 1)
        return std::nullopt;
    const auto found = std::find_if(files.begin(), files.end(),
                                    [id = *selection.begin()](const FileItem& file) { return file.id == id; });
    if (found == files.end())
        return std::nullopt;
    return *found;
}

LargestFilesView::LargestFilesView(AppModel& model, QWidget* parent, Query query)
    : QWidget(parent), model_(model), query_(std::move(query)), wait_(new QTimer(this)), load_(new LatestLoad(this))
{
    if (!query_)
        query_ = [](StorageDatabase& database, std::int64_t count, std::optional<StorageCategory> category) {
            return database.largestFiles(count, category, std::nullopt, 0);
        };
    savePanel_ = std::make_shared<FileDialogSavePanel>(this);
    wait_->setSingleShot(true);
    wait_->setInterval(settleMilliseconds);
    connect(wait_, &QTimer::timeout, this, &LargestFilesView::runLoad);
    connect(load_, &LatestLoad::busyChanged, this, &LargestFilesView::refresh);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(buildTitleBar());
    layout->addWidget(buildHeaderBar());
    auto* line = new QFrame(this);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    layout->addWidget(line);

    body_ = new QSplitter(Qt::Horizontal, this);
    body_->setChildrenCollapsible(false);
    content_ = new QStackedWidget(body_);

    listPane_ = new QSplitter(Qt::Vertical, content_);
    listPane_->setObjectName(QStringLiteral("listPane"));
    listPane_->setChildrenCollapsible(false);
    auto* chartPane = new ChartPane(
        [this](const SizeBarItem& item) {
            if (const auto id = fileID(item.id))
                setSelection({*id});
        },
        listPane_);
    chart_ = chartPane->chart();
    chartPane_ = chartPane;
    table_ = new FileTable(model_, true, listPane_);
    table_->setMinimumHeight(200);
    listPane_->addWidget(chartPane_);
    listPane_->addWidget(table_);
    listPane_->setSizes({300, 400});
    content_->addWidget(listPane_);

    noFiles_ = new EmptyStateView(QStringLiteral("doc"), QStringLiteral("No files"),
                                  QStringLiteral("No files match this filter."), content_);
    content_->addWidget(noFiles_);
    scanRequired_ = new ScanRequiredView(
        model_, QStringLiteral("No scan data yet"),
        CommonText::scanRequiredMessage(),
        content_);
    content_->addWidget(scanRequired_);

    inspector_ = new QStackedWidget(body_);
    inspector_->setObjectName(QStringLiteral("inspector"));
    inspector_->setMinimumWidth(260);
    inspector_->setMaximumWidth(400);
    noSelection_ = new EmptyStateView(QStringLiteral("doc.text.magnifyingglass"), QStringLiteral("No Selection"),
                                      QStringLiteral("Select a file to see its details. Double-click shows it in the file manager."),
                                      inspector_);
    inspector_->addWidget(noSelection_);
    body_->addWidget(content_);
    body_->addWidget(inspector_);
    body_->setStretchFactor(0, 1);
    body_->setStretchFactor(1, 0);
    body_->setSizes({700, 300});
    layout->addWidget(body_, 1);

    connect(table_, &FileTable::selectionChanged, this, &LargestFilesView::selectionEdited);
    connect(&model_, &AppModel::largestFilesCategoryChanged, this, [this] {
        showCategory();
        requestLoad();
    });
    connect(&model_.scan(), &ScanCoordinator::dataVersionChanged, this, &LargestFilesView::requestLoad);
    connect(&model_.scan(), &ScanCoordinator::summaryChanged, this, &LargestFilesView::refresh);

    showCategory();
    setShowInspector(false);
    refresh();
    requestLoad();
}

LargestFilesView::~LargestFilesView()
{
    // A focused field reports editingFinished while the base class deletes it, after this object's members.
    countField_->disconnect(this);
}

QWidget* LargestFilesView::buildTitleBar()
{
    auto* bar = new QWidget(this);
    auto* row = new QHBoxLayout(bar);
    row->setContentsMargins(20, 12, 12, 6);
    row->setSpacing(6);
    title_ = makeScreenTitle(QString(), bar);
    row->addWidget(title_);
    row->addStretch(1);

    export_ = toolbarButton(QStringLiteral("Export CSV"), "square.and.arrow.up", bar,
                            QStringLiteral("Export this list to CSV"));
    export_->setObjectName(QStringLiteral("exportButton"));
    chartToggle_ = toolbarToggle(QStringLiteral("Chart"), "chart.bar.xaxis", bar,
                                 QStringLiteral("Show bar chart of the 10 largest files"));
    inspectorToggle_ = toolbarToggle(QStringLiteral("Details"), "sidebar.trailing", bar,
                                     QStringLiteral("Show file details"));
    for (QToolButton* button : {export_, chartToggle_, inspectorToggle_})
        row->addWidget(button);
    connect(export_, &QToolButton::clicked, this, &LargestFilesView::exportCSV);
    connect(chartToggle_, &QToolButton::toggled, this, &LargestFilesView::setShowChart);
    connect(inspectorToggle_, &QToolButton::toggled, this, &LargestFilesView::setShowInspector);
    return bar;
}

QWidget* LargestFilesView::buildHeaderBar()
{
    auto* bar = new QWidget(this);
    auto* row = new QHBoxLayout(bar);
    row->setContentsMargins(12, 8, 12, 8);
    row->setSpacing(10);

    auto* showLabel = new QLabel(QStringLiteral("Show"), bar);
    limitPicker_ = new QComboBox(bar);
    limitPicker_->setObjectName(QStringLiteral("limitPicker"));
    for (Limit limit : limits)
        limitPicker_->addItem(title(limit));
    limitPicker_->setCurrentIndex(static_cast<int>(limit_));
    showLabel->setBuddy(limitPicker_);
    connect(limitPicker_, &QComboBox::activated, this,
            [this](int index) { setLimit(limits[static_cast<std::size_t>(index)]); });

    countField_ = new QLineEdit(LocaleText::integer(customCount_), bar);
    countField_->setObjectName(QStringLiteral("countField"));
    countField_->setPlaceholderText(QStringLiteral("Count"));
    countField_->setFixedWidth(70);
    // Any whole number is kept as typed; only the count asked for is kept within bounds.
    connect(countField_, &QLineEdit::editingFinished, this, [this] {
        const QString text = countField_->text().trimmed();
        bool ok = false;
        qlonglong value = QLocale().toLongLong(text, &ok);
        if (!ok)
            value = QLocale::c().toLongLong(text, &ok);
        if (ok && value != customCount_) {
            customCount_ = value;
            requestLoad();
        }
    });

    stepper_ = new QWidget(bar);
    auto* arrows = new QVBoxLayout(stepper_);
    arrows->setContentsMargins(0, 0, 0, 0);
    arrows->setSpacing(0);
    auto* up = stepButton(Qt::UpArrow, stepper_);
    up->setObjectName(QStringLiteral("countStepUp"));
    auto* down = stepButton(Qt::DownArrow, stepper_);
    down->setObjectName(QStringLiteral("countStepDown"));
    arrows->addWidget(up);
    arrows->addWidget(down);
    connect(up, &QToolButton::clicked, this, [this] { setCustomCount(steppedCount(customCount_, 1)); });
    connect(down, &QToolButton::clicked, this, [this] { setCustomCount(steppedCount(customCount_, -1)); });

    categoryPicker_ = new QComboBox(bar);
    categoryPicker_->setObjectName(QStringLiteral("categoryPicker"));
    categoryPicker_->addItem(QStringLiteral("All Categories"), -1);
    categoryPicker_->insertSeparator(1);
    for (StorageCategory category : allStorageCategories())
        categoryPicker_->addItem(SymbolIcons::icon(symbolName(category), categoryColor(category)),
                                 qstr(displayName(category)), rawValue(category));
    categoryPicker_->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    connect(categoryPicker_, &QComboBox::activated, this, [this](int index) {
        const int raw = categoryPicker_->itemData(index).toInt();
        model_.setLargestFilesCategory(raw < 0 ? std::nullopt : storageCategoryFromRawValue(raw));
    });

    spinner_ = new QProgressBar(bar);
    spinner_->setRange(0, 0);
    spinner_->setTextVisible(false);
    spinner_->setFixedSize(48, 8);
    summary_ = new QLabel(bar);
    summary_->setObjectName(QStringLiteral("summaryLabel"));
    applyTextColor(summary_, textColor(TextEmphasis::secondary));

    row->addWidget(showLabel);
    row->addWidget(limitPicker_);
    row->addWidget(countField_);
    row->addWidget(stepper_);
    row->addWidget(categoryPicker_);
    row->addStretch(1);
    row->addSpacing(8);
    row->addWidget(spinner_);
    row->addWidget(summary_);
    return bar;
}

void LargestFilesView::setLimit(Limit limit)
{
    if (limit_ == limit)
        return;
    limit_ = limit;
    {
        const QSignalBlocker blocker(limitPicker_);
        limitPicker_->setCurrentIndex(static_cast<int>(limit_));
    }
    refresh();
    requestLoad();
}

void LargestFilesView::setCustomCount(std::int64_t count)
{
    countField_->setText(LocaleText::integer(count));
    if (customCount_ == count)
        return;
    customCount_ = count;
    requestLoad();
}

std::set<std::int64_t> LargestFilesView::selection() const
{
    return table_->selection();
}

void LargestFilesView::setSelection(const std::set<std::int64_t>& selection)
{
    table_->setSelection(selection);
}

bool LargestFilesView::isLoading() const
{
    return wait_->isActive() || load_->isBusy();
}

void LargestFilesView::setShowInspector(bool shows)
{
    showInspector_ = shows;
    const QSignalBlocker blocker(inspectorToggle_);
    inspectorToggle_->setChecked(shows);
    inspector_->setVisible(shows);
    // Shown, the panel always has its room, whatever width the splitter kept for it.
    QList<int> sizes = body_->sizes();
    if (shows && sizes.size() == 2 && sizes[1] < inspector_->minimumWidth()) {
        const int total = sizes[0] + sizes[1];
        sizes[1] = std::clamp(300, inspector_->minimumWidth(), inspector_->maximumWidth());
        sizes[0] = std::max(0, total - sizes[1]);
        body_->setSizes(sizes);
    }
}

void LargestFilesView::setShowChart(bool shows)
{
    showChart_ = shows;
    const QSignalBlocker blocker(chartToggle_);
    chartToggle_->setChecked(shows);
    refresh();
    if (shows) {
        // Room for all of its bars where the screen allows, the table keeping the rest.
        const int total = listPane_->height();
        const int chart = std::clamp(static_cast<ChartPane*>(chartPane_)->wholeHeight() + 4, 160,
                                     std::max(160, total - table_->minimumHeight()));
        listPane_->setSizes({chart, std::max(total - chart, table_->minimumHeight())});
    }
}

void LargestFilesView::requestLoad()
{
    if (!model_.database())
        return;
    const LoadKey key{effectiveCount(limit_, customCount_), model_.largestFilesCategory(), model_.scan().dataVersion()};
    if (requested_ == key)
        return;
    requested_ = key;
    // The answer to an older key must not arrive after this one is asked for.
    load_->cancel();
    wait_->start();
    refresh();
}

void LargestFilesView::runLoad()
{
    const std::shared_ptr<StorageDatabase> database = model_.database();
    if (!database)
        return;
    const std::int64_t count = effectiveCount(limit_, customCount_);
    const std::optional<StorageCategory> category = model_.largestFilesCategory();
    load_->start([query = query_, database, count, category] { return query(*database, count, category); },
                 [this](std::vector<FileItem> files) { store(std::move(files)); },
                 // A failed read lists nothing; the next change tries again.
                 [this](const std::string&) { store({}); });
    refresh();
}

void LargestFilesView::store(std::vector<FileItem> files)
{
    files_ = std::move(files);
    // Rows that stay keep their selection; files no longer listed leave it.
    table_->setFiles(files_);
    chart_->setItems(chartItems(files_));
    refreshInspector();
    refresh();
}

void LargestFilesView::selectionEdited()
{
    if (table_->selection().size() == 1)
        setShowInspector(true);
    refreshInspector();
}

void LargestFilesView::refreshInspector()
{
    const std::optional<FileItem> file = selectedFile(files_, table_->selection());
    if (!file) {
        inspector_->setCurrentWidget(noSelection_);
        return;
    }
    if (detail_) {
        detail_->setFile(*file);
    } else {
        detail_ = new FileDetailView(model_, *file, inspector_);
        inspector_->addWidget(detail_);
    }
    inspector_->setCurrentWidget(detail_);
}

FileDetailView* LargestFilesView::detailView() const
{
    return inspector_->currentWidget() == detail_ ? detail_ : nullptr;
}

QWidget* LargestFilesView::currentContent() const
{
    return content_->currentWidget();
}

void LargestFilesView::showCategory()
{
    const std::optional<StorageCategory> category = model_.largestFilesCategory();
    title_->setText(navigationTitle(category));
    const QSignalBlocker blocker(categoryPicker_);
    categoryPicker_->setCurrentIndex(categoryPicker_->findData(category ? rawValue(*category) : -1));
}

void LargestFilesView::refresh()
{
    const bool loading = isLoading();
    spinner_->setVisible(loading);
    summary_->setText(summaryText(files_));
    export_->setEnabled(!files_.empty());
    countField_->setVisible(limit_ == Limit::custom);
    stepper_->setVisible(limit_ == Limit::custom);
    chartPane_->setVisible(showChart_ && !files_.empty());
    if (!files_.empty() || loading)
        content_->setCurrentWidget(listPane_);
    else if (model_.scan().summary().totals.fileCount > 0)
        content_->setCurrentWidget(noFiles_);
    else
        content_->setCurrentWidget(scanRequired_);
}

void LargestFilesView::exportCSV()
{
    if (files_.empty())
        return;
    // The user asked to save, not to show: showing the saved file is a courtesy that may fail quietly.
    const QuietShowing quiet;
    const ReportExporter::SaveResult result =
        ReportExporter::saveCSV(files_, "Kestrelmoor Largest Files", *savePanel_, model_.desktop());
    if (result.status != ReportExporter::SaveResult::Status::failed)
        return;
    model_.setAlert(AppAlert::make("The list couldn't be exported",
                                   "\"" + abbreviatingHome(result.path) + "\" couldn't be written: " + result.reason +
                                       "."));
}
