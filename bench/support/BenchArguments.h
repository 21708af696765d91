#pragma once

#include <optional>
#include <string>

#include <vector>

// A benchmark's command line, read one option at a time. A missing value, an unknown option
// or any other complaint ends the program with the message and the usage line; --help or -h
// anywhere prints the usage line and ends it.
class BenchArguments {
public:
    BenchArguments(int argc, char** argv, std::string program, std::string usageLine);

    // For a benchmark that takes no options: its arguments, at most `most` of them, none of
    // which may look like an option.
    std::vector<std::string> plain(std::size_t most);

    // The next option, or nothing after the last.
    std::optional<std::string> next();
    // The value that follows the option just read.
    std::string value();
    [[noreturn]] void fail(const std::string& message) const;

private:
    int argc_;
    char** argv_;
    int position_ = 0;
    std::string program_;
    std::string usageLine_;
};
