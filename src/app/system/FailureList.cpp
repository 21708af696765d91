#include "app/system/FailureList.h"

namespace {

std::string joined(const std::vector<std::string>& lines, std::size_t count)
{
    std::string text;
    for (std::size_t i = 0; i < count; ++i) text += (i ? "\n" : "") + lines[i];
    return text;
}

} // namespace

FailureList FailureList::of(const std::vector<std::string>& lines, const std::string& counted)
{
    if (lines.size() <= linesInMessage) return {.message = joined(lines, lines.size()), .details = {}};
    return {.message = counted + " The first ones:\n" + joined(lines, linesInMessage) +
                       "\n\nShow Details lists every one.",
            .details = joined(lines, lines.size())};
}
