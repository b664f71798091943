#include "secure/secure_session.h"

#include <random>

#include "crypto/newton_des.h"
#include "dock/nsof.h"

namespace skiff::secure {

namespace {

constexpr std::int32_t kStimSeconds = 180;     // the Newton waits this long for us while the archive is written
constexpr std::uint32_t kKeepAliveMs = 30000;  // our "helo" after 30 s of our silence, as desktops send it
constexpr std::size_t kKeepLimit = 64u << 20;  // an entry is held whole up to this (a package entry is a few MB)

// The Newton's Connection application takes one desktop application, of id 1 or 2 (the Dante Connection
// Protocol ERS); desktops that back up send id 2.
std::vector<std::uint8_t> desktopApplications() {
  nsof::Graph g;
  const nsof::Value app = g.frame({{"name", g.string("Skiff")},
                                   {"id", nsof::Value::integer(2)},
                                   {"version", nsof::Value::integer(1)},
                                   {"doesAuto", nsof::Value::trueValue()}});
  const nsof::Value apps = g.array({app});
  return nsof::encode(g, apps).bytes;
}

}  // namespace

dock::SessionSetup secureSession(dock::SessionType type, const std::string& password) {
  dock::SessionSetup setup;
  setup.type = type;
  setup.stimSeconds = kStimSeconds;
  setup.keepAliveMs = kKeepAliveMs;
  setup.keepLimit = kKeepLimit;
  std::random_device random;
  const std::uint64_t desktopKey = static_cast<std::uint64_t>(random()) << 32 | random();
  const std::uint64_t key = crypto::passwordKey(std::string_view(password));
  setup.secure = dock::SecureOpening{desktopKey, 0, false, desktopApplications(), 0x2D,
                                     [key](std::uint64_t block) { return crypto::newtonDes(key, block); }};
  return setup;
}

}  // namespace skiff::secure
