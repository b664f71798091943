#include "dock/result.h"

namespace skiff::dock {

namespace {
struct Meaning {
  std::int32_t result;
  const char* text;
};
constexpr Meaning kMeanings[] = {
    {0, "installed"},
    {-10401, "bad package"},
    {-10402, "package already exists"},
    {-10403, "bad package version"},
    {-10404, "unexpected end of package"},
    {-10409, "newer package already exists"},
    {-28003, "aborted"},
    {-28009, "bad connection"},
    {-28013, "docking cancelled"},
    {-28017, "out of memory"},
    {-28019, "package can't load"},
    {-28024, "idle too long"},
    {-28030, "disconnected"},
};
}  // namespace

const char* resultMeaning(std::int32_t result) {
  for (const auto& m : kMeanings)
    if (m.result == result) return m.text;
  return "unknown result";
}

std::string resultText(std::int32_t result) {
  return std::to_string(result) + " (" + resultMeaning(result) + ")";
}

}  // namespace skiff::dock
