#pragma once

#include <concepts>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// One value bound to a statement parameter: a 64-bit integer, a double, text or NULL.
class SQLValue {
public:
    enum class Kind { integer, real, text, null };

    SQLValue() = default;
    SQLValue(std::nullptr_t) {}
    // Unsigned values (inode numbers) are stored bit for bit in the signed column.
    template <std::integral T>
    SQLValue(T value) : kind_(Kind::integer), integer_(static_cast<std::int64_t>(value)) {}
    SQLValue(double value) : kind_(Kind::real), real_(value) {}
    SQLValue(std::string value) : kind_(Kind::text), text_(std::move(value)) {}
    SQLValue(std::string_view value) : kind_(Kind::text), text_(value) {}
    SQLValue(const char* value) : kind_(Kind::text), text_(value) {}
    // An absent value binds NULL.
    template <class T>
    SQLValue(const std::optional<T>& value) : SQLValue(value ? SQLValue(*value) : SQLValue()) {}

    Kind kind() const { return kind_; }
    std::int64_t integer() const { return integer_; }
    double real() const { return real_; }
    const std::string& text() const { return text_; }

    friend bool operator==(const SQLValue&, const SQLValue&) = default;

private:
    Kind kind_ = Kind::null;
    std::int64_t integer_ = 0;
    double real_ = 0;
    std::string text_;
};
