// The Newton's dock as it answers a desktop that loads a package: pure, bytes in and actions out, so the same
// logic runs in newton-sim and against the desktop's loader in memory.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "dock/frame.h"
#include "newton/content.h"
#include "newton/keyboard_service.h"
#include "newton/package_check.h"
#include "newton/store_service.h"

namespace skiff::newton {

struct DockFaults {
  bool wrongOpening = false;            // a frame other than "newtdockrtdk" opens the session
  bool noOpening = false;               // nothing opens the session
  std::optional<std::int32_t> result;   // this "dres" answers the package, whatever the check found
  std::vector<std::int32_t> results;    // the answers to the session's packages in turn (beyond them: as above)
  bool silentOnPackages = false;        // no package is ever answered (a Newton that hangs in its install)
  std::uint32_t nameLength = 0;         // the name frame's data is this long (zero-filled); 0: as the name needs
  // Package bytes count over the whole session: with several packages a fault can strike in a later one.
  std::int64_t cancelAfter = -1;        // "newtdockopca" once this many package bytes arrived
  std::int64_t dropAfter = -1;          // the link is dropped once this many package bytes arrived
};

// How long the Newton takes over a package: its result comes this long after the last byte, with a "helo"
// keep-alive every heloEveryMs meanwhile (mnp-facts.md 3a). These hold on every connection.
struct DockTiming {
  std::int64_t installMs = 0;
  std::int64_t heloEveryMs = 0;
};

// Who the simulated Newton is beyond its name: its password (the empty one when none is set, as a Newton without
// one still uses), and whether it runs Newton OS 1.x (ROM version 1.x in its name frame: it knows only the package
// loader's session).
struct NewtonIdentity {
  std::string password;
  bool os1 = false;
  std::uint32_t screenWidth = 320;  // as its name frame reports it (a MessagePad held upright)
};

struct DockAction {
  // Send: a frame, waited for; Post: a frame of a stream of entries, not waited for.
  enum Kind { Send, Post, Log, PackageReceived, Hangup, EntryAdded };
  Kind kind = Log;
  std::vector<std::uint8_t> bytes;  // Send: the frame; PackageReceived: the package (the session's n-th: number);
                                    // EntryAdded: the entry as the Newton keeps it
  std::string text;                 // Log: the line; PackageReceived: the check's summary; Hangup: why;
                                    // EntryAdded: "STORE/SOUP"
  int number = 0;                   // PackageReceived: 1 for the session's first package; EntryAdded: its ID
};

// 14 longs of version information, as a Newton MessagePad 2x00 reports them (or, `os1`, a Newton OS 1.x one).
std::vector<std::uint8_t> newtonVersionInfo(bool os1 = false, std::uint32_t screenWidth = 320);
// The "name" frame: version information with its length, the name in UTF-16BE, a 00 00 terminator, padding;
// with `dataLength` the data is that long, zero-filled after the name.
std::vector<std::uint8_t> nameFrame(const std::string& newtonName, std::uint32_t dataLength = 0, bool os1 = false,
                                    std::uint32_t screenWidth = 320);
// The Newton's own key in "ninf" (any 64-bit value; a real Newton picks one per session).
inline constexpr std::uint64_t kNewtonKey = 0xFFB04B4700478BC9ull;

class DockProtocol {
 public:
  DockProtocol(DockFaults faults, std::string newtonName, DockTiming timing = {}, NewtonIdentity identity = {},
               std::optional<StoreService> stores = std::nullopt);

  // What the Newton sends once the link is up.
  std::vector<DockAction> start();
  // Bytes from the desktop, in any pieces.
  std::vector<DockAction> feed(std::span<const std::uint8_t> bytes);
  // The time now, in milliseconds on any steady clock: what a long install sends when its time comes, and the
  // next frame of a soup's entries while they stream.
  std::vector<DockAction> tick(std::int64_t nowMs);
  bool streaming() const { return stores_ && stores_->streaming(); }
  // The desktop's password matched ("pass" checked) on a Newton OS 2.x session.
  bool sessionUp() const { return sessionUp_; }
  // What the desktop did to the Newton's stores (the entries it added) and typed at its insertion point.
  const std::optional<StoreService>& stores() const { return stores_; }
  const KeyboardService& keyboard() const { return keyboard_; }

  bool disconnected() const { return disconnected_; }  // "newtdockdisc" arrived
  bool packageStored() const { return packageStored_; }
  int packagesReceived() const { return packagesReceived_; }
  std::int32_t packageResult() const { return packageResult_; }  // of the last package
  bool openedProperly() const { return !faults_.wrongOpening && !faults_.noOpening; }
  // The commands of the frames received whole, in order; the one in progress, if any.
  const std::vector<std::string>& received() const { return received_; }
  std::string frameInProgress() const { return reader_.inFrame() ? reader_.currentCommand() : std::string(); }
  std::int64_t packageBytesSeen() const;  // of every package of the session so far

 private:
  void send(std::vector<DockAction>& out, const std::string& command, std::vector<std::uint8_t> frame);
  void onFrame(std::vector<DockAction>& out, dock::Frame frame);
  void watchPackage(std::vector<DockAction>& out);
  bool onSecureFrame(std::vector<DockAction>& out, const dock::Frame& frame);
  void perform(std::vector<DockAction>& out, const StoreAnswer& answer, DockAction::Kind how);

  DockFaults faults_;
  std::string newtonName_;
  DockTiming timing_;
  std::int64_t nowMs_ = 0;
  bool installing_ = false;
  std::int64_t installEndsMs_ = 0;
  std::int64_t nextHeloMs_ = 0;
  dock::FrameReader reader_;
  bool cancelled_ = false;
  bool dropped_ = false;
  bool disconnected_ = false;
  bool packageStored_ = false;
  int packagesReceived_ = 0;
  std::int64_t earlierPackageBytes_ = 0;
  std::int32_t packageResult_ = 0;
  std::vector<std::string> received_;
  NewtonIdentity identity_;
  std::optional<StoreService> stores_;
  KeyboardService keyboard_;
  bool secure_ = false;         // the desktop sent "dinf": a Newton OS 2.x session
  bool sessionUp_ = false;
  std::uint64_t desktopKey_ = 0;
};

}  // namespace skiff::newton
