#pragma once

#include "support/ScratchBase.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <stdexcept>
#include <string>

// A home folder of its own for one test. The removal rules refuse everything under
// the system's temporary folder, so it lives where they allow removals instead (see
// unprotectedScratchBase); HOME points to it, and XDG_DATA_HOME and XDG_CONFIG_HOME to its
// own folders by their defaults, until the value goes away.
class TestHome {
public:
    TestHome()
    {
        std::string pattern = unprotectedScratchBase() + "/.kestrel-test-home-XXXXXX";
        if (!::mkdtemp(pattern.data()))
            throw std::runtime_error("mkdtemp failed");
        path_ = std::filesystem::canonical(pattern).string();
        remember("HOME", savedHome_);
        remember("XDG_DATA_HOME", savedDataHome_);
        remember("XDG_CONFIG_HOME", savedConfigHome_);
        ::setenv("HOME", path_.c_str(), 1);
        ::unsetenv("XDG_DATA_HOME");
        ::unsetenv("XDG_CONFIG_HOME");
    }
    ~TestHome()
    {
        restore("HOME", savedHome_);
        restore("XDG_DATA_HOME", savedDataHome_);
        restore("XDG_CONFIG_HOME", savedConfigHome_);
        std::error_code error;
        std::filesystem::remove_all(path_, error);
    }
    TestHome(const TestHome&) = delete;
    TestHome& operator=(const TestHome&) = delete;

    const std::string& path() const { return path_; }
    std::string file(const std::string& relative) const { return (std::filesystem::path(path_) / relative).string(); }
    std::string makeFolder(const std::string& relative) const
    {
        std::filesystem::create_directories(file(relative));
        return file(relative);
    }
    std::string write(const std::string& relative, const std::string& contents = "x") const
    {
        const std::filesystem::path file = std::filesystem::path(path_) / relative;
        std::filesystem::create_directories(file.parent_path());
        std::ofstream(file) << contents;
        return file.string();
    }

private:
    static void remember(const char* name, std::optional<std::string>& slot)
    {
        if (const char* value = std::getenv(name))
            slot = value;
    }
    static void restore(const char* name, const std::optional<std::string>& slot)
    {
        if (slot)
            ::setenv(name, slot->c_str(), 1);
        else
            ::unsetenv(name);
    }

    std::string path_;
    std::optional<std::string> savedHome_;
    std::optional<std::string> savedDataHome_;
    std::optional<std::string> savedConfigHome_;
};
