#include "dock/newton_name.h"

#include "dock/frame.h"
#include "dock/nsof_text.h"

namespace skiff::dock {

std::optional<NewtonName> parseNewtonName(std::span<const std::uint8_t> data) {
  Cursor cursor(data);
  const std::uint32_t infoLength = cursor.u32();
  if (!cursor.ok() || infoLength > cursor.remaining()) return std::nullopt;
  NewtonName name;
  for (std::uint32_t i = 0; i + 4 <= infoLength; i += 4) name.versionInfo.push_back(cursor.u32());
  cursor.skip(infoLength % 4);
  const std::size_t at = data.size() - cursor.remaining();
  name.owner = nsof::utf8FromUtf16(nsof::textUnits(data.subspan(at)));
  name.data.assign(data.begin(), data.end());
  return name;
}

}  // namespace skiff::dock
