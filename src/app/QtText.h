#pragma once

#include <QString>

#include <string>
#include <string_view>

// The one crossing between engine text (UTF-8 std::string) and Qt text.
inline QString qstr(std::string_view text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

inline std::string stdstr(const QString& text)
{
    return text.toStdString();
}
