#pragma once

#include <string>
#include <string_view>

// Text comparison for the path rules: full Unicode lower-case mapping, then
// canonical composition, so that "Café" spelled with a combining accent and
// "café" fold to the same bytes.
namespace CaseFolding {

std::string lowercased(std::string_view text);

} // namespace CaseFolding
