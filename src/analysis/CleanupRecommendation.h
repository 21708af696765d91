#pragma once

#include "index/Hashing.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// How careful the user must be with a finding. The raw values are the labels the screens show.
enum class CleanupSafety { safe, review, doNotRemove };

inline constexpr std::array<CleanupSafety, 3> allCleanupSafetyCases{CleanupSafety::safe, CleanupSafety::review,
                                                                    CleanupSafety::doNotRemove};

std::string_view rawValue(CleanupSafety safety);
// Exact, case-sensitive match of a raw value; any other text gives no value.
std::optional<CleanupSafety> cleanupSafetyFromRawValue(std::string_view text);

// One cleanup finding as the cleanup screen lists it.
struct CleanupRecommendation {
    // What the user may do about a finding. A command is shown as text to copy; nothing runs it.
    class Action {
    public:
        enum class Kind { moveToTrash, command, openInFinder, none };

        Action() = default;
        static Action moveToTrash() { return Action(Kind::moveToTrash, {}); }
        static Action command(std::string commandLine) { return Action(Kind::command, std::move(commandLine)); }
        static Action openInFinder() { return Action(Kind::openInFinder, {}); }
        static Action none() { return Action(Kind::none, {}); }

        Kind kind() const { return kind_; }
        // The command line; empty for every other kind.
        const std::string& commandText() const { return text_; }

        friend bool operator==(const Action&, const Action&) = default;

    private:
        Action(Kind kind, std::string text) : kind_(kind), text_(std::move(text)) {}

        Kind kind_ = Kind::none;
        std::string text_;
    };

    std::string title;
    std::string detail;
    std::vector<std::string> paths;
    std::int64_t bytes = 0;
    bool isPartial = false;
    CleanupSafety safety = CleanupSafety::safe;
    Action action;
    std::string symbolName;
    // The size of each entry of `paths`, in the same order; empty when unknown.
    std::vector<std::int64_t> pathBytes;

    // Title, "|", then the paths joined with ",".
    std::string id() const;

    friend bool operator==(const CleanupRecommendation&, const CleanupRecommendation&) = default;
};

template <>
struct std::hash<CleanupRecommendation::Action> {
    std::size_t operator()(const CleanupRecommendation::Action& action) const noexcept
    {
        auto position = static_cast<int>(action.kind());
        if (action.kind() == CleanupRecommendation::Action::Kind::command)
            return Hashing::of(position, action.commandText());
        return Hashing::of(position);
    }
};

template <>
struct std::hash<CleanupRecommendation> {
    std::size_t operator()(const CleanupRecommendation& r) const noexcept
    {
        std::size_t seed = Hashing::of(r.title, r.detail, r.paths.size());
        for (const auto& path : r.paths) Hashing::combine(seed, path);
        Hashing::combine(seed, r.bytes);
        Hashing::combine(seed, r.isPartial);
        Hashing::combine(seed, rawValue(r.safety));
        Hashing::combine(seed, r.action);
        Hashing::combine(seed, r.symbolName);
        for (auto size : r.pathBytes) Hashing::combine(seed, size);
        return seed;
    }
};
