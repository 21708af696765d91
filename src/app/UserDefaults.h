#pragma once

#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVariantMap>

#include <memory>

class QSettings;

// The user's settings, with registered defaults that answer for keys the user never
// set. Registered values live in memory only, so they never overwrite a choice.
class UserDefaults {
public:
    // Settings in the platform's per-user place.
    UserDefaults();
    // Settings in one INI file (tests, or a second profile).
    explicit UserDefaults(const QString& filePath);
    ~UserDefaults();
    UserDefaults(const UserDefaults&) = delete;
    UserDefaults& operator=(const UserDefaults&) = delete;

    // The process-wide settings every screen and model reads.
    static UserDefaults& standard();
    // Points standard() at a file of its own; earlier registrations are kept.
    static void useFileForStandard(const QString& filePath);

    void registerDefaults(const QVariantMap& defaults);

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

    std::unique_ptr<QSettings> settings_;
    QVariantMap registered_;
};
