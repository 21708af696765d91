#pragma once

#include <string>
#include <utility>

// The verdict on one path offered for removal. Only a protected path is refused;
// a caution still lets the item go, with its reason shown to the user.
class PathSafety {
public:
    enum class Kind { caution, protected_, allowed };

    PathSafety() = default;

    static PathSafety caution(std::string reason) { return {Kind::caution, std::move(reason)}; }
    static PathSafety protected_(std::string reason) { return {Kind::protected_, std::move(reason)}; }
    static PathSafety allowed() { return {}; }

    Kind kind() const { return kind_; }
    // Empty for an allowed path.
    const std::string& reason() const { return reason_; }

    bool isAllowed() const { return kind_ == Kind::allowed; }
    bool isCaution() const { return kind_ == Kind::caution; }
    bool isProtected() const { return kind_ == Kind::protected_; }
    bool refuses() const { return isProtected(); }

    friend bool operator==(const PathSafety&, const PathSafety&) = default;

private:
    PathSafety(Kind kind, std::string reason) : kind_(kind), reason_(std::move(reason)) {}

    Kind kind_ = Kind::allowed;
    std::string reason_;
};
