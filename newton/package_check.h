// The checks a Newton makes before it installs a package file, as the simulated dock applies them.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace skiff::newton {

inline constexpr std::int32_t kPackageOk = 0;
inline constexpr std::int32_t kBadPackage = -10401;

struct PackageVerdict {
  std::int32_t result = kBadPackage;  // 0, or -10401
  std::string reason;                 // why it was refused; empty when accepted
  std::string name;                   // the package's name (UTF-16BE in the file), non-ASCII shown as '?'
  std::uint32_t parts = 0;
};

// `announced` is the length the "lpkg" frame gave; the package's own size field must agree with it.
PackageVerdict checkPackage(std::span<const std::uint8_t> bytes, std::uint64_t announced);

}  // namespace skiff::newton
