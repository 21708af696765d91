#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

// What dpkg's database says about installed packages: who owns a file, the
// version, and the files a package put on the system.
class DebianPackages {
public:
    struct Size {
        std::int64_t allocatedBytes = 0;
        std::int64_t logicalBytes = 0;
        std::int64_t fileCount = 0;
        bool wasCancelled = false;
    };

    explicit DebianPackages(std::string root = "/var/lib/dpkg");

    // The package that lists each of `paths`, for those that one lists; a package
    // of a foreign architecture keeps its qualifier ("libfoo:i386").
    std::map<std::string, std::string> owners(const std::set<std::string>& paths) const;
    std::optional<std::string> version(const std::string& package) const;
    // The installed versions of `packages`, from one read of dpkg's status file.
    std::map<std::string, std::string> versions(const std::set<std::string>& packages) const;
    std::vector<std::string> files(const std::string& package) const;
    // The regular files of the packages, each counted once.
    Size size(const std::vector<std::string>& packages, std::stop_token stop = {}) const;

    struct Origin {
        std::string source; // the source package it is built from
        // The installed packages it depends on, directly or through one another, that
        // are built from the same source: the parts of one program (vim: vim-common,
        // vim-runtime), not the libraries it shares. Named as owners() names them.
        std::vector<std::string> sameSourceDependencies;
        friend bool operator==(const Origin&, const Origin&) = default;
    };
    // The origin of each of `packages` that is installed, from one read of the status file.
    std::map<std::string, Origin> origins(const std::set<std::string>& packages) const;

    // "Depends: a (>= 1), b | c, d:any" as the names it lists: a, b, c, d.
    static std::vector<std::string> dependencyNames(std::string_view field);

private:
    std::string root_;
};
