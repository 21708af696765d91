#include "app/UserDefaults.h"

#include "app/UserDefaultsNotifier.h"

#include "platform/Paths.h"
#include "platform/RegularFile.h"
#include "platform/SystemPaths.h"

#include <QSettings>

#include <climits>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <utility>

QString UserDefaults::defaultFilePath()
{
    // The file a plain QSettings() of this program opens, found without trusting a relative HOME.
    return QString::fromStdString(Paths::appending(SystemPaths::configHome(SystemPaths::homeDirectory()),
                                                   "Kestrelmoor/Kestrelmoor.conf"));
}

UserDefaults::UserDefaults() : UserDefaults(defaultFilePath()) {}

UserDefaults::UserDefaults(const QString& filePath)
{
    const std::string path = filePath.toStdString();
    // A link's target is read and replaced on save, and the link stays as the user made it.
    char* real = ::realpath(path.c_str(), nullptr);
    const std::string target = real ? real : path;
    std::free(real);
    // A save also takes a lock file beside the target, which must not block either.
    const std::pair<const char*, std::string> files[] = {{"settings file", path}, {"settings lock file", target + ".lock"}};
    for (const auto& [role, file] : files)
        if (const auto kind = RegularFile::refusal(file)) {
            refusal_ = QStringLiteral("The %1 %2 is %3, not a regular file, so Kestrelmoor left it alone and uses "
                                      "its default settings. Changes are kept until you quit.")
                           .arg(QLatin1String(role), QString::fromStdString(file), QString::fromStdString(*kind));
            return;
        }
    settings_ = std::make_unique<QSettings>(QString::fromStdString(target), QSettings::IniFormat);
}

UserDefaults::~UserDefaults() = default;

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
    return settings_ ? settings_->contains(key) : unsaved_.contains(key);
}

QVariant UserDefaults::stored(const QString& key) const
{
    return settings_ ? settings_->value(key) : unsaved_.value(key);
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
    if (settings_)
        settings_->setValue(key, value);
    else
        unsaved_.insert(key, value);
    if (changed)
        announce(key);
}

void UserDefaults::removeValue(const QString& key)
{
    const bool changed = stores(key);
    if (settings_)
        settings_->remove(key);
    else
        unsaved_.remove(key);
    if (changed)
        announce(key);
}

void UserDefaults::announce(const QString& key) const
{
    if (standardSlot().get() == this)
        emit UserDefaultsNotifier::instance().changed(key);
}

void UserDefaults::sync()
{
    if (settings_)
        settings_->sync();
}
