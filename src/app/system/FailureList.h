#pragma once

#include <cstddef>
#include <string>
#include <vector>

// A list of failures short enough for an alert: every line when there are few, else a
// count and the first lines, with the whole list for the alert's details area, which
// scrolls, so that the alert and its button stay on the screen.
struct FailureList {
    std::string message;
    std::string details;   // empty when the message names every failure
    friend bool operator==(const FailureList&, const FailureList&) = default;

    static constexpr std::size_t linesInMessage = 3;
    // `counted` opens a list that was cut, e.g. "12 of 40 processes could not be quit."
    static FailureList of(const std::vector<std::string>& lines, const std::string& counted);
};
