#include "index/ScanRecords.h"

#include "index/RawValueTable.h"

namespace {

constexpr RawValueTable<ScanRecord::Status, 4> statusWords{.entries = {{
    {ScanRecord::Status::running, "running"},
    {ScanRecord::Status::completed, "completed"},
    {ScanRecord::Status::cancelled, "cancelled"},
    {ScanRecord::Status::failed, "failed"},
}}};

} // namespace

std::string_view rawValue(ScanRecord::Status status)
{
    return statusWords.text(status);
}

std::optional<ScanRecord::Status> scanStatusFromRawValue(std::string_view text)
{
    return statusWords.value(text);
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
