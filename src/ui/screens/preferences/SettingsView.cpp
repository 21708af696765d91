#include "ui/screens/preferences/SettingsView.h"

#include "analysis/HomeAbbreviation.h"
#include "app/AppModel.h"
#include "app/LatestLoad.h"
#include "app/QtText.h"
#include "app/SettingsKey.h"
#include "app/UserDefaults.h"
#include "app/UserDefaultsNotifier.h"
#include "platform/FileSystem.h"
#include "platform/SystemPaths.h"
#include "scanning/ScanConfiguration.h"
#include "ui/components/PrivacyNotice.h"
#include "ui/components/ScreenParts.h"
#include "ui/components/SymbolIcons.h"
#include "ui/components/TextStyle.h"
#include "ui/components/WrappingCheckBox.h"
#include "ui/screens/preferences/ScanCacheSettings.h"
#include "ui/screens/preferences/SettingsSection.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QScrollArea>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <array>

namespace {

struct IntervalChoice {
    const char* title;
    double seconds;
};
constexpr std::array<IntervalChoice, 3> intervalChoices{{{"1 second", 1.0}, {"2 seconds", 2.0}, {"5 seconds", 5.0}}};

// A window-modal dialog of the screen's own: it goes with the screen, never outlives it.
void chooseWithDialog(QWidget* parent, std::function<void(const QStringList&)> chosen)
{
    // One folder per choice: the desktop's folder dialogs pick a single folder.
    auto* dialog = new QFileDialog(parent);
    dialog->setObjectName(QStringLiteral("excludeDialog"));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setFileMode(QFileDialog::Directory);
    dialog->setOption(QFileDialog::ShowDirsOnly);
    dialog->setLabelText(QFileDialog::Accept, QStringLiteral("Exclude"));
    dialog->setDirectory(qstr(SystemPaths::homeDirectory()));
    QObject::connect(dialog, &QFileDialog::accepted, dialog,
                     [dialog, chosen = std::move(chosen)] { chosen(dialog->selectedFiles()); });
    dialog->open();
}

} // namespace

SettingsView::SettingsView(AppModel& model, QWidget* parent)
    : QWidget(parent), model_(model), chooseFolders_(chooseWithDialog), systemFolders_(new LatestLoad(this))
{
    setObjectName(QStringLiteral("settingsView"));
    setWindowTitle(QStringLiteral("Settings"));

    auto* scroll = new QScrollArea(this);
    QVBoxLayout* layout = makeScrollPage(scroll, PageWidth::scrolls, 18);
    QWidget* content = scroll->widget();
    layout->addWidget(makeScreenTitle(QStringLiteral("Settings"), content));
    layout->addWidget(scanningSection());
    layout->addWidget(monitoringSection());
    scanCache_ = new ScanCacheSettings(model_, content);
    scanCache_->setObjectName(QStringLiteral("scanCache"));
    layout->addWidget(scanCache_);
    layout->addWidget(privacySection());
    layout->addWidget(aboutSection());
    layout->addStretch(1);
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(scroll);

    showStoredSettings();
    connect(&UserDefaultsNotifier::instance(), &UserDefaultsNotifier::changed, this,
            &SettingsView::showStoredSettings);

    systemFolders_->start([] { return systemFoldersAdded(FileSystem::standard()); },
                          [this](std::vector<std::string> added) { includeSystem_->setText(systemFoldersLabel(added)); });
}

QWidget* SettingsView::scanningSection()
{
    auto* section = new SettingsSection(QStringLiteral("Scanning"));
    includeSystem_ = new WrappingCheckBox(systemFoldersLabel({}));
    includeSystem_->setObjectName(QStringLiteral("includeSystem"));
    includeExternal_ = new QCheckBox(QStringLiteral("Include external volumes"));
    includeExternal_->setObjectName(QStringLiteral("includeExternal"));
    includeNetwork_ = new QCheckBox(QStringLiteral("Include network volumes (slow)"));
    includeNetwork_->setObjectName(QStringLiteral("includeNetwork"));
    // Written on the user's click only: showing a stored value never writes it.
    const std::pair<QCheckBox*, QString> toggles[] = {{includeSystem_, SettingsKey::includeSystemFolders},
                                                      {includeExternal_, SettingsKey::includeExternalVolumes},
                                                      {includeNetwork_, SettingsKey::includeNetworkVolumes}};
    for (const auto& [box, key] : toggles) {
        connect(box, &QCheckBox::toggled, this, [key](bool on) { UserDefaults::standard().setValue(key, on); });
        section->addRow(box);
    }

    concurrency_ = new QSpinBox;
    concurrency_->setObjectName(QStringLiteral("concurrency"));
    concurrency_->setRange(1, 8);
    concurrency_->setPrefix(QStringLiteral("Parallel folder readers: "));
    concurrency_->setToolTip(QStringLiteral("More readers scan faster on SSDs but use more CPU while scanning."));
    concurrency_->setSizePolicy(QSizePolicy::Maximum, QSizePolicy::Fixed);
    connect(concurrency_, &QSpinBox::valueChanged, this,
            [](int value) { UserDefaults::standard().setValue(SettingsKey::scanConcurrency, value); });
    section->addRow(concurrency_);

    auto* excluded = new QWidget;
    auto* excludedLayout = new QVBoxLayout(excluded);
    excludedLayout->setContentsMargins(0, 0, 0, 0);
    excludedLayout->addWidget(new QLabel(QStringLiteral("Excluded folders")));
    excludedRows_ = new QWidget;
    excludedLayout_ = new QVBoxLayout(excludedRows_);
    excludedLayout_->setContentsMargins(0, 0, 0, 0);
    excludedLayout->addWidget(excludedRows_);
    auto* add = new QPushButton(QStringLiteral("Add Folder…"));
    add->setObjectName(QStringLiteral("addFolder"));
    add->setAutoDefault(false);
    connect(add, &QPushButton::clicked, this, &SettingsView::addExcluded);
    excludedLayout->addWidget(add, 0, Qt::AlignLeft);
    section->addRow(excluded);
    return section;
}

QWidget* SettingsView::monitoringSection()
{
    auto* section = new SettingsSection(QStringLiteral("Monitoring"));
    auto* row = new QWidget;
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(new QLabel(QStringLiteral("Update interval")));
    layout->addStretch(1);
    interval_ = new QComboBox;
    interval_->setObjectName(QStringLiteral("interval"));
    for (const IntervalChoice& choice : intervalChoices)
        interval_->addItem(QString::fromUtf8(choice.title), choice.seconds);
    connect(interval_, &QComboBox::currentIndexChanged, this, [this](int row) {
        if (row >= 0)
            UserDefaults::standard().setValue(SettingsKey::monitorInterval, interval_->itemData(row).toDouble());
    });
    layout->addWidget(interval_);
    section->addRow(row);
    section->addNote(QStringLiteral("CPU and memory are sampled only while a monitoring screen is open."));
    return section;
}

QWidget* SettingsView::privacySection()
{
    auto* section = new SettingsSection(QStringLiteral("Privacy"));
    section->addRow(new PrivacyNotice(false));
    section->addNote(QStringLiteral(
        "Works offline. No account, no analytics, no tracking. Everything Kestrelmoor learns about your files is "
        "stored only in the local cache above, and you can clear it at any time."));
    return section;
}

QWidget* SettingsView::aboutSection()
{
    auto* section = new SettingsSection(QStringLiteral("About"));
    section->addLabeledRow(QStringLiteral("Version"), versionText(QCoreApplication::applicationVersion()))
        ->setObjectName(QStringLiteral("version"));
    section->addLabeledRow(QStringLiteral("Developer"), QStringLiteral("Quillfeather"));
    return section;
}

void SettingsView::showStoredSettings()
{
    const UserDefaults& defaults = UserDefaults::standard();
    {
        const QSignalBlocker a(includeSystem_), b(includeExternal_), c(includeNetwork_), d(concurrency_), e(interval_);
        includeSystem_->setChecked(defaults.boolValue(SettingsKey::includeSystemFolders));
        includeExternal_->setChecked(defaults.boolValue(SettingsKey::includeExternalVolumes));
        includeNetwork_->setChecked(defaults.boolValue(SettingsKey::includeNetworkVolumes));
        // Out of range, the stepper shows its nearest end; the stored value stays until the user steps.
        concurrency_->setValue(static_cast<int>(
            std::clamp<long long>(defaults.integerValue(SettingsKey::scanConcurrency), 1, 8)));
        interval_->setCurrentIndex(intervalRow(defaults.doubleValue(SettingsKey::monitorInterval)));
    }
    includeNetwork_->setEnabled(includeExternal_->isChecked());
    showExcluded(defaults.stringListValue(SettingsKey::excludedPaths));
}

void SettingsView::showExcluded(const QStringList& paths)
{
    if (paths == shownExcluded_)
        return;
    shownExcluded_ = paths;
    // Rows are kept by their path: a path that stays keeps its row (and the focus on
    // it); only the rows of removed paths go, later, since the clicked remove button
    // is inside one.
    std::map<QString, QWidget*> kept;
    for (auto& [path, row] : excludedRowByPath_) {
        if (paths.contains(path)) {
            kept.emplace(path, row);
        } else {
            excludedLayout_->removeWidget(row);
            row->hide();
            row->deleteLater();
        }
    }
    excludedRowByPath_ = std::move(kept);
    int position = 0;
    for (const QString& path : paths) {
        auto found = excludedRowByPath_.find(path);
        if (found == excludedRowByPath_.end())
            found = excludedRowByPath_.emplace(path, excludedRow(path)).first;
        else if (excludedLayout_->indexOf(found->second) < position)
            continue;    // a path listed twice has its one row already
        if (excludedLayout_->indexOf(found->second) != position) {
            excludedLayout_->removeWidget(found->second);
            excludedLayout_->insertWidget(position, found->second);
        }
        ++position;
    }
}

QWidget* SettingsView::excludedRow(const QString& path)
{
    auto* row = new QWidget(excludedRows_);
    row->setObjectName(QStringLiteral("excludedRow"));
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* label = new QLabel(qstr(abbreviatingHome(stdstr(path))), row);
    label->setFont(SettingsSection::monospacedFont(TextStyle::callout));
    label->setToolTip(path);
    layout->addWidget(label, 1);
    auto* remove = new QToolButton(row);
    remove->setObjectName(QStringLiteral("removeExcluded"));
    remove->setAutoRaise(true);
    remove->setIcon(SymbolIcons::icon("minus.circle"));
    remove->setToolTip(QStringLiteral("Remove"));
    connect(remove, &QToolButton::clicked, this, [this, path] { removeExcluded(path); });
    layout->addWidget(remove);
    return row;
}

void SettingsView::addExcluded()
{
    QPointer<SettingsView> self(this);
    chooseFolders_(this, [self](const QStringList& chosen) {
        if (self)
            self->exclude(chosen);
    });
}

void SettingsView::exclude(const QStringList& chosen)
{
    if (chosen.isEmpty())
        return;
    // Read, change and write the stored list at once, so another view's edit is kept.
    UserDefaults& defaults = UserDefaults::standard();
    const QStringList stored = defaults.stringListValue(SettingsKey::excludedPaths);
    defaults.setValue(SettingsKey::excludedPaths, addingExcluded(stored, chosen));
    showStoredSettings();
}

void SettingsView::removeExcluded(const QString& path)
{
    UserDefaults& defaults = UserDefaults::standard();
    const QStringList stored = defaults.stringListValue(SettingsKey::excludedPaths);
    defaults.setValue(SettingsKey::excludedPaths, removingExcluded(stored, path));
    showStoredSettings();
}

QStringList SettingsView::addingExcluded(QStringList stored, const QStringList& chosen)
{
    for (const QString& path : chosen)
        if (!stored.contains(path, Qt::CaseSensitive))
            stored.append(path);
    return stored;
}

QStringList SettingsView::removingExcluded(QStringList stored, const QString& path)
{
    stored.removeAll(path);
    return stored;
}

std::vector<std::string> SettingsView::systemFoldersAdded(const FileSystem& fileSystem)
{
    ScanConfiguration users;
    users.roots = ScanConfiguration::userRoots();
    ScanConfiguration all = users;
    for (const std::string& root : ScanConfiguration::systemRoots())
        all.roots.push_back(root);
    const std::vector<std::string> without = users.normalizedRoots(fileSystem);
    std::vector<std::string> added;
    for (const std::string& root : all.normalizedRoots(fileSystem))
        if (std::find(without.begin(), without.end(), root) == without.end())
            added.push_back(root);
    return added;
}

QString SettingsView::systemFoldersLabel(const std::vector<std::string>& added)
{
    QString label = QStringLiteral("Include system folders");
    if (added.empty())
        return label;
    // A Linux root holds a dozen folders or more: the toggle wraps the list to its width.
    QStringList names;
    for (const std::string& folder : added)
        // A folder's name is no keyboard mnemonic.
        names << qstr(folder).replace(QLatin1Char('&'), QStringLiteral("&&"));
    const QString text = label + QStringLiteral(" (") + names.join(QStringLiteral(", ")) + QStringLiteral(")");
    return text;
}

int SettingsView::intervalRow(double seconds)
{
    for (std::size_t row = 0; row < intervalChoices.size(); ++row)
        if (intervalChoices[row].seconds == seconds)
            return static_cast<int>(row);
    return -1;
}

QString SettingsView::versionText(const QString& version)
{
    return version.isEmpty() ? QStringLiteral("—") : version;
}
