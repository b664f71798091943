#include <cctype>

#include "dil/serial.h"

namespace skiff::dil {

std::optional<int> baudFromConfig(std::string_view config) {
  auto colon = config.rfind(':');
  if (colon == std::string_view::npos) return std::nullopt;
  long value = 0;
  std::size_t digits = 0;
  for (std::size_t at = colon + 1; at < config.size() && std::isdigit(static_cast<unsigned char>(config[at])); ++at) {
    value = value * 10 + (config[at] - '0');
    if (value > 100'000'000) return std::nullopt;
    ++digits;
  }
  if (digits == 0 || value < 50) return std::nullopt;
  return static_cast<int>(value);
}

}  // namespace skiff::dil
