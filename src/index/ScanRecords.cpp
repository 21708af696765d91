#include "index/ScanRecords.h"

namespace {

struct StatusWord {
    ScanRecord::Status status;
    std::string_view word;
};

constexpr std::array<StatusWord, 4> statusWords = {{
    {ScanRecord::Status::running, "running"},
    {ScanRecord::Status::completed, "completed"},
    {ScanRecord::Status::cancelled, "cancelled"},
    {ScanRecord::Status::failed, "failed"},
}};

} // namespace

std::string_view rawValue(ScanRecord::Status status)
{
    for (const auto& entry : statusWords) {
        if (entry.status == status) return entry.word;
    }
    return "failed";
}

std::optional<ScanRecord::Status> scanStatusFromRawValue(std::string_view text)
{
    for (const auto& entry : statusWords) {
        if (entry.word == text) return entry.status;
    }
    return std::nullopt;
}

std::string_view rawValue(SearchQuery::Kind kind)
{
    switch (kind) {
    case SearchQuery::Kind::all: return "All";
    case SearchQuery::Kind::files: return "Files";
    case SearchQuery::Kind::folders: return "Folders";
    }
    return "All";
}

const std::array<SearchQuery::Kind, 3>& allSearchKinds()
{
    static constexpr std::array<SearchQuery::Kind, 3> kinds = {SearchQuery::Kind::all, SearchQuery::Kind::files,
                                                               SearchQuery::Kind::folders};
    return kinds;
}
