#pragma once

#include <QObject>

#include <utility>

// Stores `value` in `field` and emits `signal` of `object`, but only when the
// value really differs from the stored one.
template <class Object, class T, class U>
void setIfChanged(Object* object, T& field, U&& value, void (Object::*signal)())
{
    if (field == value)
        return;
    field = std::forward<U>(value);
    emit(object->*signal)();
}
