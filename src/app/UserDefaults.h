#pragma once

#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVariantMap>

#include <memory>
#include <optional>

class QSettings;

// The user's settings, with registered defaults that answer for keys the user never
// set. Registered values live in memory only, so they never overwrite a choice.
class UserDefaults {
public:
    // Settings in the per-user place, $XDG_CONFIG_HOME/Kestrelmoor/Kestrelmoor.conf.
    UserDefaults();
    // Settings in one INI file (tests, or a second profile). Only a regular file, or a link to
    // one, is read and written (a save writes the link's target and keeps the link), and only
    // while the lock file a save takes beside it is one too or missing; anything else is left
    // alone: the settings then live in memory for this run, from the defaults.
    explicit UserDefaults(const QString& filePath);
    ~UserDefaults();
    UserDefaults(const UserDefaults&) = delete;
    UserDefaults& operator=(const UserDefaults&) = delete;

    // The process-wide settings every screen and model reads.
    static UserDefaults& standard();
    // Points standard() at a file of its own; earlier registrations are kept.
    static void useFileForStandard(const QString& filePath);

    void registerDefaults(const QVariantMap& defaults);

    // Why the settings file was left alone, for the user; absent when it is in use.
    const std::optional<QString>& refusal() const { return refusal_; }
    static QString defaultFilePath();

    // The user's value, else the registered one, else an invalid variant.
    QVariant value(const QString& key) const;
    bool boolValue(const QString& key) const;              // missing: false
    long long integerValue(const QString& key) const;      // missing or not a number: 0
    double doubleValue(const QString& key) const;          // missing or not a number: 0
    QStringList stringListValue(const QString& key) const; // missing or not a list: empty

    // Both announce a change of standard() through UserDefaultsNotifier.
    void setValue(const QString& key, const QVariant& value);
    void removeValue(const QString& key);
    void sync();

private:
    // Tells the views when a setting of standard() changed.
    void announce(const QString& key) const;
    bool stores(const QString& key) const;
    QVariant stored(const QString& key) const;

    std::unique_ptr<QSettings> settings_;   // null while the file is refused
    QVariantMap unsaved_;                   // the values of this run then
    std::optional<QString> refusal_;
    QVariantMap registered_;
};
