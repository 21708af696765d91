#pragma once

#include <cstdlib>
#include <optional>
#include <string>

// Sets an environment variable for the life of the value, then puts the old one back.
class ScopedEnvironment {
public:
    ScopedEnvironment(std::string name, const std::string& value) : name_(std::move(name))
    {
        if (const char* old = std::getenv(name_.c_str()))
            saved_ = old;
        ::setenv(name_.c_str(), value.c_str(), 1);
    }
    ~ScopedEnvironment()
    {
        if (saved_)
            ::setenv(name_.c_str(), saved_->c_str(), 1);
        else
            ::unsetenv(name_.c_str());
    }
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

private:
    std::string name_;
    std::optional<std::string> saved_;
};
