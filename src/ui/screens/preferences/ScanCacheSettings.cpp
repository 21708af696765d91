#include "ui/screens/preferences/ScanCacheSettings.h"

#include "analysis/ByteFormatter.h"
#include "analysis/HomeAbbreviation.h"
#include "app/system/AppAlert.h"
#include "app/AppModel.h"
#include "app/LatestLoad.h"
#include "app/QtText.h"
#include "app/ScanCoordinator.h"
#include "index/StorageDatabase.h"
#include "platform/DesktopServices.h"
#include "scanning/FinderActions.h"
#include "ui/components/CommonText.h"
#include "ui/components/ElidedLabel.h"
#include "ui/components/LocaleText.h"
#include "ui/components/TextStyle.h"
#include "ui/screens/preferences/ScanErrorDelegate.h"
#include "ui/screens/preferences/ScanErrorListModel.h"
#include "ui/screens/preferences/SettingsSection.h"

#include <QDateTime>
#include <QHBoxLayout>
#include <QLabel>
#include <QListView>
#include <QMessageBox>
#include <QPushButton>
#include <QTimeZone>
#include <QVBoxLayout>

#include <utility>

namespace {

QWidget* buttonRow(std::initializer_list<QPushButton*> buttons)
{
    auto* row = new QWidget;
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    for (QPushButton* button : buttons) {
        button->setAutoDefault(false);
        layout->addWidget(button);
    }
    layout->addStretch(1);
    return row;
}

} // namespace

ScanCacheSettings::ScanCacheSettings(AppModel& model, QWidget* parent)
    : QWidget(parent), model_(model), load_(new LatestLoad(this))
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(18);

    auto* cache = new SettingsSection(QStringLiteral("Scan Cache"), this);
    size_ = cache->addLabeledRow(QStringLiteral("Cache size"), qstr(ByteFormatter::string(0)));
    size_->setObjectName(QStringLiteral("cacheSize"));
    ElidedLabel* location = cache->addPathRow(QStringLiteral("Location"), locationText(model_));
    location->setObjectName(QStringLiteral("cacheLocation"));
    cache->addNote(QStringLiteral("The cache stores only file names, paths, sizes, dates and types — never file "
                                  "contents — so later scans only update what changed."));
    clear_ = new QPushButton(QStringLiteral("Clear Cache…"));
    clear_->setObjectName(QStringLiteral("clearCache"));
    applyTextColor(clear_, NamedColor::red);
    connect(clear_, &QPushButton::clicked, this, &ScanCacheSettings::confirmClear);
    if (const auto& database = model_.database()) {
        auto* reveal = new QPushButton(CommonText::revealAction());
        reveal->setObjectName(QStringLiteral("revealCache"));
        const std::string path = database->path();
        connect(reveal, &QPushButton::clicked, this, [this, path] { FinderActions::reveal({path}, model_.desktop()); });
        cache->addRow(buttonRow({reveal, clear_}));
    } else {
        cache->addRow(buttonRow({clear_}));
    }
    layout->addWidget(cache);

    auto* diagnostics = new SettingsSection(QStringLiteral("Diagnostics"), this);
    noErrors_ = new QLabel(QStringLiteral("No scan errors recorded."));
    noErrors_->setObjectName(QStringLiteral("noErrors"));
    applyTextColor(noErrors_, textColor(TextEmphasis::secondary));
    diagnostics->addRow(noErrors_);
    errorLog_ = new QWidget;
    auto* logLayout = new QVBoxLayout(errorLog_);
    logLayout->setContentsMargins(0, 0, 0, 0);
    entries_ = new ScanErrorListModel(this);
    list_ = new QListView;
    list_->setObjectName(QStringLiteral("errorList"));
    list_->setModel(entries_);
    list_->setItemDelegate(new ScanErrorDelegate(list_));
    list_->setUniformItemSizes(true);
    list_->setMinimumHeight(120);
    list_->setMaximumHeight(200);
    list_->setSelectionMode(QAbstractItemView::NoSelection);
    list_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    logLayout->addWidget(list_);
    auto* copy = new QPushButton(QStringLiteral("Copy Log"));
    copy->setObjectName(QStringLiteral("copyLog"));
    connect(copy, &QPushButton::clicked, this, &ScanCacheSettings::copyLog);
    auto* clearLog = new QPushButton(QStringLiteral("Clear Log"));
    clearLog->setObjectName(QStringLiteral("clearLog"));
    connect(clearLog, &QPushButton::clicked, this, &ScanCacheSettings::clearLog);
    logLayout->addWidget(buttonRow({copy, clearLog}));
    errorLog_->hide();
    diagnostics->addRow(errorLog_);
    layout->addWidget(diagnostics);
    layout->addStretch(1);

    ScanCoordinator& scan = model_.scan();
    connect(&scan, &ScanCoordinator::progressChanged, this, &ScanCacheSettings::updateClearButton);
    connect(&scan, &ScanCoordinator::isClearingChanged, this, &ScanCacheSettings::updateClearButton);
    // A scan or a removal changed the index: its size and log with it.
    connect(&scan, &ScanCoordinator::dataVersionChanged, this, [this] {
        if (isVisible())
            reload();
    });
    updateClearButton();
}

void ScanCacheSettings::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    reload();
}

void ScanCacheSettings::updateClearButton()
{
    const ScanCoordinator& scan = model_.scan();
    clear_->setEnabled(!scan.isScanActive() && !scan.isClearing());
    // The old size would read as if nothing happened; the new one follows the clear's reload.
    if (scan.isClearing())
        size_->setText(clearingText());
}

QString ScanCacheSettings::clearingText()
{
    return QStringLiteral("Clearing\u2026");
}

void ScanCacheSettings::reload()
{
    std::shared_ptr<StorageDatabase> database = model_.database();
    load_->start(
        [database] {
            std::pair<std::int64_t, std::vector<ScanErrorEntry>> loaded{0, {}};
            if (!database)
                return loaded;
            loaded.first = database->databaseFileSize();
            try {
                loaded.second = database->recentErrors(loadedErrors);
            } catch (const std::exception&) {
                // An unreadable log shows as an empty one.
            }
            return loaded;
        },
        [this](std::pair<std::int64_t, std::vector<ScanErrorEntry>> loaded) {
            showLoaded(loaded.first, std::move(loaded.second));
        });
}

void ScanCacheSettings::showLoaded(std::int64_t size, std::vector<ScanErrorEntry> errors)
{
    databaseSize_ = size;
    size_->setText(qstr(ByteFormatter::string(size)));
    errors_ = std::move(errors);
    const std::size_t listed = std::min<std::size_t>(errors_.size(), listedErrors);
    entries_->setEntries(std::vector<ScanErrorEntry>(errors_.begin(), errors_.begin() + static_cast<std::ptrdiff_t>(listed)));
    noErrors_->setVisible(errors_.empty());
    errorLog_->setVisible(!errors_.empty());
}

void ScanCacheSettings::confirmClear()
{
    if (confirmation_)
        return;
    auto* box = new QMessageBox(this);
    box->setObjectName(QStringLiteral("clearConfirmation"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::WindowModal);
    box->setIcon(QMessageBox::Warning);
    box->setWindowTitle(QStringLiteral("Kestrelmoor"));
    box->setText(QStringLiteral("Clear the scan cache?"));
    box->setInformativeText(QStringLiteral("This removes Kestrelmoor's saved scan results only. Your files are not "
                                           "affected. The next scan starts from scratch."));
    QPushButton* clear = box->addButton(QStringLiteral("Clear Cache"), QMessageBox::DestructiveRole);
    clear->setObjectName(QStringLiteral("confirmClear"));
    box->addButton(QMessageBox::Cancel);
    box->setDefaultButton(QMessageBox::Cancel);
    connect(clear, &QPushButton::clicked, this, &ScanCacheSettings::clearCache);
    confirmation_ = box;
    box->open();
}

void ScanCacheSettings::clearCache()
{
    static const std::string title = "The scan cache could not be cleared";
    QPointer<ScanCacheSettings> self(this);
    AppModel* model = &model_;
    // The coordinator owns the clear, so it ends and reports even if this screen goes away.
    const bool started = model_.scan().clearCache([self, model](std::optional<std::string> failure) {
        if (failure)
            model->setAlert(AppAlert::make(title, *failure));
        if (self)
            self->reload();
    });
    if (!started)
        model_.setAlert(AppAlert::make(title, "A scan is running. Stop the scan, then clear the cache."));
}

void ScanCacheSettings::clearLog()
{
    std::shared_ptr<StorageDatabase> database = model_.database();
    LatestLoad::once(
        this,
        [database] {
            if (!database)
                return;
            try {
                database->clearErrors();
            } catch (const std::exception&) {
                // The reload shows what the log still holds.
            }
        },
        [this] { reload(); });
}

void ScanCacheSettings::copyLog()
{
    model_.desktop().copyText(stdstr(logText(errors_)));
}

QString ScanCacheSettings::escapedField(const std::string& text)
{
    QString escaped;
    for (const QChar c : qstr(text)) {
        if (c == QLatin1Char('\\'))
            escaped += QStringLiteral("\\\\");
        else if (c == QLatin1Char('\t'))
            escaped += QStringLiteral("\\t");
        else if (c == QLatin1Char('\n'))
            escaped += QStringLiteral("\\n");
        else if (c == QLatin1Char('\r'))
            escaped += QStringLiteral("\\r");
        else
            escaped += c;
    }
    return escaped;
}

QString ScanCacheSettings::logText(const std::vector<ScanErrorEntry>& entries)
{
    QStringList lines;
    for (const ScanErrorEntry& entry : entries) {
        const QDateTime when = QDateTime::fromSecsSinceEpoch(static_cast<qint64>(entry.date), QTimeZone::utc());
        lines.append(when.toString(QStringLiteral("yyyy-MM-dd'T'HH:mm:ss'Z'")) + QLatin1Char('\t') + escapedField(entry.path) + QLatin1Char('\t') +
                     escapedField(entry.message));
    }
    return lines.join(QLatin1Char('\n'));
}

QString ScanCacheSettings::locationText(const AppModel& model)
{
    const auto& database = model.database();
    return database ? qstr(abbreviatingHome(database->path())) : QStringLiteral("Unavailable");
}
