// The results a Newton's dock answers with "dres", in words.
#pragma once

#include <cstdint>
#include <string>

namespace skiff::dock {

// "bad package" for -10401; "unknown result" for codes not in the table.
const char* resultMeaning(std::int32_t result);
// "-10401 (bad package)".
std::string resultText(std::int32_t result);

}  // namespace skiff::dock
