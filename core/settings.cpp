#include "core/settings.h"

#include <cstdio>

namespace skiff {

bool LoadSettings(Settings& settings, const std::string& path) {
  if (ReadSettings(settings, path)) return true;
  SaveSettings(settings, path);
  return false;
}

bool ReadSettings(Settings& settings, const std::string& path) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return false;
  char port[4];
  settings.portName = std::fread(port, 1, 4, file) == 4 ? std::string(port, 4) : std::string("COM1");
  unsigned char flag = 0;
  settings.moreBackgroundTime = std::fread(&flag, 1, 1, file) == 1 ? flag : 0;
  unsigned char baud[4];
  settings.packageBaud = std::fread(baud, 1, 4, file) == 4
                             ? static_cast<std::int32_t>(static_cast<std::uint32_t>(baud[0]) |
                                                         static_cast<std::uint32_t>(baud[1]) << 8 |
                                                         static_cast<std::uint32_t>(baud[2]) << 16 |
                                                         static_cast<std::uint32_t>(baud[3]) << 24)
                             : 38400;
  flag = 0;
  settings.receiveInBatches = std::fread(&flag, 1, 1, file) == 1 ? flag : 0;
  std::fclose(file);
  return true;
}

void SaveSettings(const Settings& settings, const std::string& path) {
  std::FILE* file = std::fopen(path.c_str(), "wb+");
  if (file == nullptr) return;
  unsigned char bytes[10] = {'C', 'O', 'M', '1'};
  for (std::size_t i = 0; i < 4; ++i) bytes[i] = i < settings.portName.size() ? settings.portName[i] : 0;
  bytes[4] = settings.moreBackgroundTime;
  const auto baud = static_cast<std::uint32_t>(settings.packageBaud);
  for (int i = 0; i < 4; ++i) bytes[5 + i] = static_cast<unsigned char>(baud >> (8 * i));
  bytes[9] = settings.receiveInBatches;
  std::fwrite(bytes, 1, sizeof bytes, file);
  std::fclose(file);
}

}  // namespace skiff
