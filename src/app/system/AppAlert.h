#pragma once

#include "platform/SystemPaths.h"

#include <string>

// The one alert of the main window. Every alert gets a fresh id, so two alerts with
// the same texts are still two alerts.
struct AppAlert {
    std::string id;
    std::string title;
    std::string message;   // may hold several lines separated by "\n"
    std::string details;   // a long list, shown in a scrolling area below the message

    static AppAlert make(std::string title, std::string message, std::string details = {})
    {
        return {.id = SystemPaths::randomUUIDString(),
                .title = std::move(title),
                .message = std::move(message),
                .details = std::move(details)};
    }
};
