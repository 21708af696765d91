#include "app/UserDefaultsNotifier.h"

UserDefaultsNotifier& UserDefaultsNotifier::instance()
{
    static UserDefaultsNotifier notifier;
    return notifier;
}
