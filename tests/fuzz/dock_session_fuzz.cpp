// The desktop's dock session on arbitrary bytes from the Newton: every input ends in a defined state, what the
// session sends is always whole frames, and no frame it hands on holds more data than it keeps. Fed in pieces of
// the input's own choosing, to a package loader's session and a Newton OS 2.x one asking for stores and entries.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <span>

#include "dock/session.h"

namespace {

using namespace skiff;

void drain(dock::Session& session, std::size_t keep) {
  while (session.hasOutput()) {
    const auto frame = session.takeOutput();
    if (frame.size() < dock::kFrameHeaderSize || std::memcmp(frame.data(), "newtdock", 8) != 0) std::abort();
  }
  while (session.hasEvent()) {
    const dock::SessionEvent e = session.nextEvent();
    if (e.frame.data.size() > keep) std::abort();
  }
}

void run(dock::SessionSetup setup, std::span<const std::uint8_t> bytes) {
  const std::size_t keep = setup.keepLimit;
  dock::Session session(std::move(setup));
  std::uint32_t now = 0;
  std::size_t at = 0;
  while (at < bytes.size()) {
    // The first byte of each piece says how long it is.
    const std::size_t n = std::min<std::size_t>(1 + bytes[at] % 64, bytes.size() - at);
    session.receive(bytes.subspan(at, n), now += 700);
    at += n;
    session.tick(now);
    if (session.opened() && !session.awaiting()) {
      session.ask("snds", {}, dock::Expect{{"bsdn", "ndir"}, {"entr", "bids", "base"}});
      if (bytes[at - 1] & 1) session.cancel();
    }
    drain(session, keep);
  }
  if (session.ended() && session.opened()) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::span<const std::uint8_t> bytes(data, size);
  dock::SessionSetup package;
  package.keepLimit = 64;
  run(package, bytes);
  dock::SessionSetup secure;
  secure.type = dock::SessionType::SettingUp;
  secure.keepLimit = 512;
  secure.keepAliveMs = 5000;
  secure.secure = dock::SecureOpening{0x0102030405060708ull, 0, false, {}, 0x2D, [](std::uint64_t v) { return ~v; }};
  run(secure, bytes);
  return 0;
}
