#include "app/UserDefaults.h"

#include "app/UserDefaultsNotifier.h"

#include "platform/Paths.h"
#include "platform/RegularFile.h"
#include "platform/SystemPaths.h"

#include <QEvent>
#include <QMetaObject>
#include <QSettings>

#include <climits>
#include <cstdint>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <utility>

#include <sys/stat.h>

QString UserDefaults::defaultFilePath()
{
    // The file a plain QSettings() of this program opens, found without trusting a relative HOME.
    return QString::fromStdString(Paths::appending(SystemPaths::configHome(SystemPaths::homeDirectory()),
                                                   "Kestrelmoor/Kestrelmoor.conf"));
}

UserDefaults::UserDefaults() : UserDefaults(defaultFilePath()) {}

namespace {

// QSettings saves on its own once the event loop runs, and then reads the file again when it
// changed: past the check each save here makes first.
class CheckedSettings final : public QSettings {
public:
    using QSettings::QSettings;

protected:
    bool event(QEvent* event) override { return event->type() == QEvent::UpdateRequest || QSettings::event(event); }
};

// Why the settings file, or the lock file a save takes beside what it leads to, cannot be
// read or written now; absent when both are regular files or missing.
std::optional<QString> refusalOf(const std::string& path, const std::string& target)
{
    const std::pair<const char*, std::string> files[] = {{"settings file", path}, {"settings lock file", target + ".lock"}};
    for (const auto& [role, file] : files)
        if (const auto kind = RegularFile::refusal(file))
            return QStringLiteral("The %1 %2 is %3, not a regular file, so Kestrelmoor left it alone and uses its "
                                  "default settings. Changes are kept until you quit.")
                .arg(QLatin1String(role), QString::fromStdString(file), QString::fromStdString(*kind));
    // Read whole, on the main thread: a file far longer than any settings is not theirs.
    constexpr std::int64_t maxSettingsBytes = 16 * 1024 * 1024;
    struct stat status {};
    if (::stat(path.c_str(), &status) == 0 && status.st_size > maxSettingsBytes)
        return QStringLiteral("The settings file %1 is far longer than settings are, so Kestrelmoor left it alone "
                              "and uses its default settings. Changes are kept until you quit.")
            .arg(QString::fromStdString(path));
    return std::nullopt;
}

} // namespace

UserDefaults::UserDefaults(const QString& filePath) : path_(filePath.toStdString())
{
    // A link's target is read and replaced on save, and the link stays as the user made it.
    char* real = ::realpath(path_.c_str(), nullptr);
    target_ = real ? real : path_;
    std::free(real);
    refusal_ = refusalOf(path_, target_);
    if (!refusal_)
        settings_ = std::make_unique<CheckedSettings>(QString::fromStdString(target_), QSettings::IniFormat);
}

UserDefaults::~UserDefaults()
{
    if (!unsaved_.isEmpty() || !removed_.isEmpty())
        save();
}

namespace {
std::unique_ptr<UserDefaults>& standardSlot()
{
    static std::unique_ptr<UserDefaults> slot;
    return slot;
}
}

UserDefaults& UserDefaults::standard()
{
    auto& slot = standardSlot();
    if (!slot)
        slot = std::make_unique<UserDefaults>();
    return *slot;
}

void UserDefaults::useFileForStandard(const QString& filePath)
{
    auto& slot = standardSlot();
    QVariantMap registered = slot ? slot->registered_ : QVariantMap{};
    slot = std::make_unique<UserDefaults>(filePath);
    slot->registered_ = registered;
    emit UserDefaultsNotifier::instance().changed(QString());
}

void UserDefaults::registerDefaults(const QVariantMap& defaults)
{
    for (auto it = defaults.begin(); it != defaults.end(); ++it)
        registered_.insert(it.key(), it.value());
}

bool UserDefaults::stores(const QString& key) const
{
    return unsaved_.contains(key) || (!removed_.contains(key) && settings_ && settings_->contains(key));
}

QVariant UserDefaults::stored(const QString& key) const
{
    if (unsaved_.contains(key) || removed_.contains(key) || !settings_)
        return unsaved_.value(key);
    return settings_->value(key);
}

QVariant UserDefaults::value(const QString& key) const
{
    if (stores(key))
        return stored(key);
    return registered_.value(key);
}

bool UserDefaults::boolValue(const QString& key) const
{
    return value(key).toBool();
}

long long UserDefaults::integerValue(const QString& key) const
{
    bool ok = false;
    const QVariant v = value(key);
    long long n = v.toLongLong(&ok);
    if (ok)
        return n;
    // "4.0" typed into the file by hand still counts as 4.
    const double d = v.toDouble(&ok);
    if (!ok || std::isnan(d))
        return 0;
    // Outside the range of the result the conversion is undefined: "1e23" reads as the largest.
    constexpr double limit = 9223372036854775808.0;   // 2^63
    if (d >= limit)
        return std::numeric_limits<long long>::max();
    if (d < -limit)
        return std::numeric_limits<long long>::min();
    return static_cast<long long>(d);
}

double UserDefaults::doubleValue(const QString& key) const
{
    bool ok = false;
    const double d = value(key).toDouble(&ok);
    return ok ? d : 0.0;
}

QStringList UserDefaults::stringListValue(const QString& key) const
{
    const QVariant v = value(key);
    if (v.typeId() == QMetaType::QStringList)
        return v.toStringList();
    if (v.typeId() == QMetaType::QVariantList) {
        QStringList list;
        for (const QVariant& element : v.toList()) {
            if (element.typeId() != QMetaType::QString)
                return {};
            list.append(element.toString());
        }
        return list;
    }
    // The INI format reads a one-element list back as plain text.
    if (v.typeId() == QMetaType::QString && !v.toString().isEmpty() && stores(key))
        return {v.toString()};
    return {};
}

void UserDefaults::setValue(const QString& key, const QVariant& value)
{
    const bool changed = !stores(key) || stored(key) != value;
    unsaved_.insert(key, value);
    removed_.remove(key);
    scheduleSave();
    if (changed)
        announce(key);
}

void UserDefaults::removeValue(const QString& key)
{
    const bool changed = stores(key);
    unsaved_.remove(key);
    if (settings_)
        removed_.insert(key);
    scheduleSave();
    if (changed)
        announce(key);
}

void UserDefaults::announce(const QString& key) const
{
    if (standardSlot().get() == this)
        emit UserDefaultsNotifier::instance().changed(key);
}

void UserDefaults::scheduleSave()
{
    if (!settings_ || saveScheduled_)
        return;
    saveScheduled_ = true;
    QMetaObject::invokeMethod(settings_.get(), [this] { save(); }, Qt::QueuedConnection);
}

void UserDefaults::save()
{
    saveScheduled_ = false;
    if (!settings_)
        return;
    if (auto refusal = refusalOf(path_, target_)) {
        // Left alone from now on: what it held stays in memory beside this run's changes.
        for (const QString& key : settings_->allKeys())
            if (!unsaved_.contains(key) && !removed_.contains(key))
                unsaved_.insert(key, settings_->value(key));
        removed_.clear();
        settings_.reset();
        refusal_ = std::move(refusal);
        return;
    }
    for (const QString& key : removed_)
        settings_->remove(key);
    for (auto it = unsaved_.cbegin(); it != unsaved_.cend(); ++it)
        settings_->setValue(it.key(), it.value());
    settings_->sync();
    unsaved_.clear();
    removed_.clear();
}

void UserDefaults::sync()
{
    save();
}
