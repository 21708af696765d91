#pragma once

#include "index/ApplicationRecords.h"
#include "platform/CodeSigning.h"

#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

// Finds the application bundles in a list of folders and reads each one's
// Info.plist, executable architectures and code signature.
struct ApplicationScanner {
    struct SigningIdentity {
        std::optional<std::string> developer;
        std::optional<std::string> teamIdentifier;
        CodeSignatureStatus status;

        friend bool operator==(const SigningIdentity&, const SigningIdentity&) = default;
    };

    struct DataLocation {
        ApplicationStorageBreakdown::Entry::Kind kind;
        std::string path;

        friend bool operator==(const DataLocation&, const DataLocation&) = default;
    };

    std::vector<std::string> directories;

    // "/Applications", ~/Applications, "/System/Applications".
    static const std::vector<std::string>& defaultDirectories();

    // Every bundle read, sorted by name as the file browser sorts.
    std::vector<ApplicationInfo> scanApplications(const CodeSigning& signing = CodeSigning::system()) const;

    // Bundles in each folder and up to two folder levels below it, each bundle once
    // (by resolved path), under the path by which it was first reached.
    std::vector<std::string> findApplicationBundles() const;

    // No value only when reading fails unexpectedly; a missing or broken Info.plist
    // still gives a record named after the folder.
    static std::optional<ApplicationInfo> readApplication(const std::string& path,
                                                          const CodeSigning& signing = CodeSigning::system());

    // Not recorded on this system.
    static std::optional<double> lastUsedDate(const std::string& path);

    // The existing places under home + "/Library", and their XDG counterparts,
    // where the application keeps data; each real folder once.
    static std::vector<DataLocation> dataLocations(const ApplicationInfo& app, const std::string& home);

    // By name, ignoring case and comparing digit runs by value; stable.
    static void sortByName(std::vector<ApplicationInfo>& apps);

    static SigningIdentity signingIdentity(const std::string& path, const CodeSigning& signing = CodeSigning::system());
    static CodeSignatureStatus validateSignature(const std::string& path,
                                                 const CodeSigning& signing = CodeSigning::system());
    static std::optional<std::string> developerName(std::string_view certificateSummary);

    // Architectures of the executable a bundle's Info.plist names; empty when the
    // name is unusable or resolves to something that is not a regular file in the bundle.
    static std::vector<CPUArchitecture> executableArchitectures(const std::string& bundlePath,
                                                                const std::string& executableName);

private:
    void visit(const std::string& folder, int depth, std::vector<std::string>& found,
               std::unordered_set<std::string>& resolved) const;
};
