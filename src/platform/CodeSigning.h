#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// The code-signing services an application scanner asks about a bundle: a static
// code reference, its signing information, a full validity check and error texts.
// This system has no code-signing service for application bundles, so system()
// answers every signature question with `unimplemented`; tests substitute their own.
class CodeSigning {
public:
    using Status = std::int32_t;
    static constexpr Status success = 0;
    static constexpr Status unimplemented = -4;
    static constexpr Status notSigned = -67062;
    static constexpr Status staticCodeNotFound = -67068;

    static constexpr std::uint32_t adHocFlag = 0x2;

    struct StaticCode {
        std::string path;
    };

    struct SigningInformation {
        std::optional<std::string> identifier;
        std::optional<std::string> teamIdentifier;
        std::optional<std::uint32_t> flags;
        // Subject summary of each certificate of the chain, leaf first; absent
        // where a certificate gives none.
        std::vector<std::optional<std::string>> certificateSummaries;
    };

    virtual ~CodeSigning() = default;

    virtual Status createStaticCode(const std::string& path, StaticCode& code) const;
    virtual Status copySigningInformation(const StaticCode& code, SigningInformation& information) const;
    virtual Status checkValidity(const StaticCode& code) const;
    virtual std::optional<std::string> errorMessage(Status status) const;

    static const CodeSigning& system();
};
