// Package files as a Newton installs them (the package format of "Newton Formats"): a header, one "form" part
// entry, the package's name in UTF-16 and the part's bytes. The simulated Newton keeps such packages in its
// Packages soups; checkPackage (package_check.h) accepts every one.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace skiff::newton {

// A package named `name` (UTF-8, e.g. "Calculator:SIMPLE") whose one part holds `part`.
std::vector<std::uint8_t> makePackage(std::string_view name, std::span<const std::uint8_t> part);

}  // namespace skiff::newton
