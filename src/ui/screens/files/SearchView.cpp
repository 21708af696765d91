#include "ui/screens/files/SearchView.h"

#include "analysis/ByteFormatter.h"
#include "analysis/SearchService.h"
#include "app/AppModel.h"
#include "app/ApplicationsStore.h"
#include "app/LatestLoad.h"
#include "app/QtText.h"
#include "app/ScanCoordinator.h"
#include "ui/components/ScreenParts.h"
#include "ui/components/FileTable.h"
#include "ui/components/ScanRequiredView.h"
#include "ui/components/SymbolIcons.h"
#include "ui/components/TextStyle.h"
#include "ui/screens/files/FileDetailView.h"
#include "ui/screens/files/SearchHelpView.h"

#include <QEvent>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSplitter>
#include <QStackedWidget>
#include <QTimer>
#include <QVBoxLayout>

namespace {

enum Page { helpPage, scanRequiredPage, resultsPage };

constexpr int defaultLimit = 500;

bool isTrimmed(QChar c)
{
    return c == QLatin1Char('\t') || c.category() == QChar::Separator_Space;
}

} // namespace

SearchView::SearchView(AppModel& model, QWidget* parent)
    : QWidget(parent),
      model_(model),
      runner_(&SearchService::run),
      results_(emptyResults()),
      searches_(new LatestLoad(this)),
      pause_(new QTimer(this))
{
    pause_->setSingleShot(true);
    pause_->setInterval(pauseMilliseconds);
    pause_->setTimerType(Qt::PreciseTimer);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    QLabel* title = makeScreenTitle(QStringLiteral("Search"), this);
    title->setContentsMargins(20, 12, 12, 6);
    layout->addWidget(title);
    pages_ = new QStackedWidget(this);
    layout->addWidget(pages_);
    pages_->addWidget(new SearchHelpView(model_, pages_));
    pages_->addWidget(new ScanRequiredView(model_, QStringLiteral("No scan data yet"),
                                           QStringLiteral("Search runs against the local scan index \u2014 scan once "
                                                          "and searches return instantly without walking the disk "
                                                          "again."),
                                           pages_));

    auto* resultsPage = new QWidget(pages_);
    auto* column = new QVBoxLayout(resultsPage);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    auto* summaryBar = new QHBoxLayout;
    summaryBar->setContentsMargins(16, 8, 16, 8);
    busy_ = smallSpinner();
    busy_->setObjectName(QStringLiteral("searchingIndicator"));
    summary_ = new QLabel(resultsPage);
    summary_->setObjectName(QStringLiteral("summary"));
    applyTextColor(summary_, textColor(TextEmphasis::secondary));
    duration_ = new QLabel(resultsPage);
    duration_->setObjectName(QStringLiteral("duration"));
    applyTextStyle(duration_, TextStyle::caption);
    applyTextColor(duration_, textColor(TextEmphasis::tertiary));
    limit_ = new QLabel(resultsPage);
    limit_->setObjectName(QStringLiteral("limit"));
    applyTextStyle(limit_, TextStyle::caption);
    applyTextColor(limit_, textColor(TextEmphasis::secondary));
    summaryBar->setSpacing(8);
    summaryBar->addWidget(busy_);
    summaryBar->addWidget(summary_, 0, Qt::AlignBaseline);
    summaryBar->addWidget(duration_, 0, Qt::AlignBaseline);
    summaryBar->addStretch(1);
    summaryBar->addWidget(limit_, 0, Qt::AlignBaseline);
    column->addLayout(summaryBar);
    column->addWidget(divider(resultsPage));

    stripArea_ = new QScrollArea(resultsPage);
    stripArea_->setFrameShape(QFrame::NoFrame);
    stripArea_->setWidgetResizable(true);
    stripArea_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    stripArea_->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    strip_ = new QWidget(stripArea_);
    strip_->setObjectName(QStringLiteral("strip"));
    stripRow_ = new QHBoxLayout(strip_);
    stripRow_->setContentsMargins(16, 8, 16, 8);
    stripRow_->setSpacing(8);
    stripRow_->addStretch(1);
    stripArea_->setWidget(strip_);
    stripArea_->installEventFilter(this);
    column->addWidget(stripArea_);
    stripDivider_ = divider(resultsPage);
    column->addWidget(stripDivider_);

    split_ = new QSplitter(Qt::Horizontal, resultsPage);
    split_->setChildrenCollapsible(false);
    table_ = new FileTable(model_, false, split_);
    inspector_ = new QWidget(split_);
    inspector_->setObjectName(QStringLiteral("inspector"));
    inspector_->setMinimumWidth(260);
    inspector_->setMaximumWidth(400);
    new QVBoxLayout(inspector_);
    inspector_->layout()->setContentsMargins(0, 0, 0, 0);
    split_->addWidget(table_);
    split_->addWidget(inspector_);
    split_->setStretchFactor(0, 1);
    split_->setSizes({600, 300});
    column->addWidget(split_, 1);
    pages_->addWidget(resultsPage);

    connect(pause_, &QTimer::timeout, this, [this] { search(); });
    connect(searches_, &LatestLoad::busyChanged, this, [this](bool busy) {
        isSearching_ = busy;
        refreshSummaryLine();
    });
    connect(table_, &FileTable::selectionChanged, this, [this] { refreshInspector(); });
    connect(&model_, &AppModel::searchTextChanged, this, [this] { keyChanged(); });
    connect(&model_.scan(), &ScanCoordinator::dataVersionChanged, this, [this] { keyChanged(); });
    connect(&model_.scan(), &ScanCoordinator::summaryChanged, this, [this] { refresh(); });

    refreshStrip();
    refresh();
    keyChanged();
}

QString SearchView::buttonTitle(const std::string& text)
{
    return qstr(text).replace(QLatin1Char('&'), QStringLiteral("&&"));
}

std::string SearchView::trimmed(std::string_view text)
{
    const QString whole = qstr(text);
    qsizetype start = 0;
    qsizetype end = whole.size();
    while (start < end && isTrimmed(whole[start]))
        ++start;
    while (end > start && isTrimmed(whole[end - 1]))
        --end;
    return stdstr(whole.mid(start, end - start));
}

SearchResults SearchView::emptyResults()
{
    SearchResults results;
    results.query.limit = defaultLimit;
    return results;
}

QString SearchView::summaryText(const SearchResults& results)
{
    const auto count = [](std::size_t n, const char* singular, const char* plural) {
        return QString::asprintf("%lld ", static_cast<long long>(n)) +
               QLatin1String(n == 1 ? singular : plural);
    };
    return count(results.files.size(), "file", "files") + QStringLiteral(", ") +
           count(results.folders.size(), "folder", "folders") + QStringLiteral(", ") +
           count(results.applications.size(), "app", "apps");
}

QString SearchView::durationText(double seconds)
{
    return QString::asprintf("in %.0f ms", seconds * 1000);
}

QString SearchView::searchingText()
{
    return QStringLiteral("Searching\u2026");
}

void SearchView::refreshSummaryLine()
{
    // Until the answer for the current text is in, the previous counts (or none at all,
    // "0 files … in 0 ms") would read as this search's result.
    const bool pending = pause_->isActive() || isSearching_;
    busy_->setVisible(pending);
    summary_->setText(pending ? searchingText() : summaryText(results_));
    duration_->setText(pending ? QString() : durationText(results_.duration));
    limit_->setText(pending ? QString() : limitText(results_));
}

QString SearchView::limitText(const SearchResults& results)
{
    if (static_cast<long long>(results.files.size()) < results.query.limit)
        return {};
    return QString::asprintf("Showing the largest %lld matches", static_cast<long long>(results.query.limit));
}

std::optional<FileItem> SearchView::selectedFile() const
{
    const auto& selection = table_->selection();
    if (selection.size() != 1)
        return std::nullopt;
    for (const FileItem& file : results_.files)
        if (file.id == *selection.begin())
            return file;
    return std::nullopt;
}

void SearchView::keyChanged()
{
    const std::string key = model_.searchText() + "|" + std::to_string(model_.scan().dataVersion());
    if (key == key_)
        return;
    key_ = key;
    // Only the newest text counts: a waiting or running search for an older one is dropped.
    pause_->stop();
    searches_->cancel();
    if (trimmed(model_.searchText()).empty() || !model_.database()) {
        store(emptyResults());
        return;
    }
    pause_->start();
    refresh();
}

void SearchView::search()
{
    const std::string text = trimmed(model_.searchText());
    std::shared_ptr<StorageDatabase> database = model_.database();
    if (text.empty() || !database)
        return;
    searches_->start(
        [runner = runner_, text, database, applications = model_.apps().apps()] {
            return runner(text, database.get(), applications);
        },
        [this](SearchResults results) { store(std::move(results)); });
}

void SearchView::store(SearchResults results)
{
    const bool filesChanged = results.files != results_.files;
    const bool stripChanged = results.folders != results_.folders || results.applications != results_.applications;
    results_ = std::move(results);
    if (filesChanged)
        table_->setFiles(results_.files);
    if (stripChanged)
        refreshStrip();
    refresh();
}

void SearchView::refresh()
{
    Page page = resultsPage;
    if (trimmed(model_.searchText()).empty())
        page = helpPage;
    else if (model_.scan().summary().totals.fileCount <= 0 && results_.applications.empty())
        page = scanRequiredPage;
    pages_->setCurrentIndex(page);

    refreshSummaryLine();
    const bool hasStrip = !results_.applications.empty() || !results_.folders.empty();
    stripArea_->setVisible(hasStrip);
    stripDivider_->setVisible(hasStrip);
    refreshInspector();
}

QPushButton* SearchView::stripButton(std::vector<QPushButton*>& buttons, std::size_t index, const char* symbol,
                                     const char* objectName)
{
    while (buttons.size() <= index) {
        auto* button = new QPushButton(SymbolIcons::icon(symbol), QString(), strip_);
        button->setObjectName(QLatin1String(objectName));
        buttons.push_back(button);
    }
    return buttons[index];
}

void SearchView::refreshStrip()
{
    AppModel& model = model_;
    const std::size_t applications = results_.applications.size();
    for (std::size_t i = 0; i < applications; ++i) {
        const ApplicationInfo& application = results_.applications[i];
        QPushButton* button = stripButton(applicationButtons_, i, "app", "applicationButton");
        button->setText(buttonTitle(application.name));
        button->disconnect(&model);
        // Selecting another screen ends this one: nothing of it is touched afterwards.
        connect(button, &QPushButton::clicked, &model, [&model, path = application.path] {
            model.setSelectedApplicationPath(path);
            model.setSelection(SidebarItem::applications);
        });
    }
    const std::size_t folders = std::min(results_.folders.size(), maximumFolderButtons);
    for (std::size_t i = 0; i < folders; ++i) {
        const FolderItem& folder = results_.folders[i];
        QPushButton* button = stripButton(folderButtons_, i, "folder", "folderButton");
        button->setText(buttonTitle(folder.name + " \u00b7 " + ByteFormatter::string(folder.totalAllocated)));
        button->setToolTip(qstr(folder.path));
        button->disconnect(&model);
        connect(button, &QPushButton::clicked, &model, [&model, path = folder.path] {
            model.setLargestFoldersFocus(path);
            model.setSelection(SidebarItem::largestFolders);
        });
    }
    // Applications first, then folders, in answer order, before the closing stretch.
    int position = 0;
    const auto place = [&](const std::vector<QPushButton*>& buttons, std::size_t used) {
        for (std::size_t i = 0; i < buttons.size(); ++i, ++position) {
            if (stripRow_->indexOf(buttons[i]) != position)
                stripRow_->insertWidget(position, buttons[i]);
            buttons[i]->setVisible(i < used);
        }
    };
    place(applicationButtons_, applications);
    place(folderButtons_, folders);
    fitStrip();
}

void SearchView::fitStrip()
{
    // Room for the buttons, and for the scroll bar only when they are wider than the screen.
    const bool scrolls = strip_->sizeHint().width() > stripArea_->width();
    stripArea_->setFixedHeight(strip_->sizeHint().height() +
                               (scrolls ? stripArea_->horizontalScrollBar()->sizeHint().height() : 0));
}

bool SearchView::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == stripArea_ && event->type() == QEvent::Resize)
        fitStrip();
    return QWidget::eventFilter(watched, event);
}

void SearchView::refreshInspector()
{
    const auto file = selectedFile();
    inspector_->setVisible(file.has_value());
    if (!file)
        return;
    if (detail_) {
        detail_->setFile(*file);
        return;
    }
    detail_ = new FileDetailView(model_, *file, inspector_);
    inspector_->layout()->addWidget(detail_);
}
