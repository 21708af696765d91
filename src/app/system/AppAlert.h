#pragma once

#include "platform/SystemPaths.h"

#include <string>

// The one alert of the main window. Every alert gets a fresh id, so two alerts with
// the same texts are still two alerts.
struct AppAlert {
    std::string id;
    std::string title;
    std::string message;   // may hold several lines separated by "\n"

    static AppAlert make(std::string title, std::string message)
    {
        return {SystemPaths::randomUUIDString(), std::move(title), std::move(message)};
    }
};
