#include "BenchArguments.h"

#include <cstdlib>
#include <iostream>
#include <utility>

BenchArguments::BenchArguments(int argc, char** argv, std::string program, std::string usageLine)
    : argc_(argc), argv_(argv), program_(std::move(program)), usageLine_(std::move(usageLine))
{
    for (int i = 1; i < argc_; ++i) {
        const std::string arg = argv_[i];
        if (arg == "--help" || arg == "-h") {
            std::cout << "usage: " << program_ << " " << usageLine_ << "\n";
            std::exit(0);
        }
    }
}

std::vector<std::string> BenchArguments::plain(std::size_t most)
{
    std::vector<std::string> values;
    while (const auto arg = next()) {
        if (arg->size() > 1 && arg->front() == '-')
            fail("unknown option " + *arg);
        values.push_back(*arg);
    }
    if (values.size() > most)
        fail("too many arguments");
    return values;
}

std::optional<std::string> BenchArguments::next()
{
    if (position_ + 1 >= argc_)
        return std::nullopt;
    return argv_[++position_];
}

std::string BenchArguments::value()
{
    if (position_ + 1 >= argc_)
        fail("missing value for " + std::string(argv_[position_]));
    return argv_[++position_];
}

void BenchArguments::fail(const std::string& message) const
{
    std::cerr << program_ << ": " << message << "\nusage: " << program_ << " " << usageLine_ << "\n";
    std::exit(2);
}
