#pragma once

#include "platform/ProcessWindows.h"

#include <map>
#include <optional>
#include <string>
#include <vector>

// A window manager that lists the windows a test gives it and records what it is asked to raise.
class FakeProcessWindows : public ProcessWindows {
public:
    std::optional<std::string> activationRefusal() override { return refusal; }
    std::vector<Window> windowsOf(std::int32_t pid) override
    {
        const auto found = windows.find(pid);
        return found == windows.end() ? std::vector<Window>{} : found->second;
    }
    bool activate(Window window) override
    {
        activated.push_back(window);
        return takesRequests;
    }

    std::optional<std::string> refusal;
    std::map<std::int32_t, std::vector<Window>> windows;
    bool takesRequests = true;
    std::vector<Window> activated;
};
