#include "dock/result.h"

namespace skiff::dock {

namespace {
struct Meaning {
  std::int32_t result;
  const char* text;
};
// What a package install answers, then the docker's own errors (-28xxx) and those of the store and the object
// streams that a dock passes on (-10xxx, -48xxx), as the open re-creation of the Newton's system names them
// (its DockerErrors.h, OSErrors.h and NewtonErrors.h).
constexpr Meaning kMeanings[] = {
    {0, "installed"},
    {-10401, "bad package"},
    {-10402, "package already exists"},
    {-10403, "bad package version"},
    {-10404, "unexpected end of package"},
    {-10409, "newer package already exists"},
    {-28001, "bad store signature"},
    {-28002, "bad entry"},
    {-28003, "aborted"},
    {-28006, "bad current soup"},
    {-28007, "bad command length"},
    {-28008, "entry not found"},
    {-28009, "bad connection"},
    {-28011, "incompatible protocol"},
    {-28012, "protocol error"},
    {-28013, "docking cancelled"},
    {-28014, "store not found"},
    {-28015, "soup not found"},
    {-28016, "bad header"},
    {-28017, "out of memory"},
    {-28019, "package can't load"},
    {-28020, "protocol extension already registered"},
    {-28022, "bad password"},
    {-28023, "retry password"},
    {-28024, "idle too long"},
    {-28027, "already busy"},
    {-28028, "desktop error"},
    {-28030, "disconnected"},
    {-28031, "access denied"},
    {-10605, "store write-protected"},
    {-10617, "store full"},
    {-10618, "card battery low"},
    {-10622, "object too big for store"},
    {-48005, "object corrupted"},
    {-48006, "unknown stream version"},
    {-48009, "not a soup entry"},
    {-48014, "duplicate soup name"},
    {-48020, "store is ROM"},
    {-48034, "soup name too long"},
    {-48223, "bad stream"},
    {-48224, "function object in stream"},
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
