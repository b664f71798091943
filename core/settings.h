// The four user settings and their ten-byte file.
#pragma once

#include <cstdint>
#include <string>

namespace skiff {

struct Settings {
  std::string portName = "COM1";  // four characters as stored; any value is kept
  std::uint8_t moreBackgroundTime = 0;  // 0 or non-zero, kept as stored
  std::int32_t packageBaud = 38400;
  std::uint8_t receiveInBatches = 0;
};

inline constexpr const char* kSettingsFileName = "skiff.cfg";

// The package speeds the Config menu offers.
inline constexpr bool isPackageSpeed(std::int64_t baud) { return baud == 38400 || baud == 9600 || baud == 2400; }

// Reads the file; each field missing from a short file keeps its built-in value. When the file cannot be
// opened it is written from `settings` instead. Returns true when the file was read.
bool LoadSettings(Settings& settings, const std::string& path = kSettingsFileName);
// Reads the file as LoadSettings does, but a missing file stays missing (`settings` keeps its values).
bool ReadSettings(Settings& settings, const std::string& path = kSettingsFileName);
// Rewrites the whole file: 4 port characters, 1 byte, 4 bytes little-endian, 1 byte. Failures are silent.
void SaveSettings(const Settings& settings, const std::string& path = kSettingsFileName);

}  // namespace skiff
