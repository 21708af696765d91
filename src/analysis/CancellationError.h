#pragma once

#include <stdexcept>

// Thrown by long analyses whose task was cancelled and that have no partial answer to give.
class CancellationError : public std::runtime_error {
public:
    CancellationError() : std::runtime_error("The operation was cancelled.") {}
};
