#pragma once

#include <QObject>
#include <QString>

// Announces changes of the standard settings, so that every view showing a setting
// follows it, also when another view (or window) changed it. Main thread.
class UserDefaultsNotifier : public QObject {
    Q_OBJECT

public:
    static UserDefaultsNotifier& instance();

signals:
    // `key` is empty when every setting may have changed.
    void changed(const QString& key);
};
