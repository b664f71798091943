#include "newton/dock_protocol.h"

#include "crypto/newton_des.h"
#include "dock/result.h"

namespace skiff::newton {

namespace {

constexpr std::size_t kPackageLimit = 64u << 20;  // what the simulated store holds of one package
constexpr std::int32_t kDockProtocolVersion = 9;

std::string frameLine(const char* direction, const std::string& command, std::uint64_t length, std::size_t pad) {
  return std::string(direction) + " " + command + " length=" + std::to_string(length) + " pad=" +
         std::to_string(pad);
}

DockAction logAction(std::string text) { return DockAction{DockAction::Log, {}, std::move(text)}; }

std::int32_t longOf(const dock::Frame& frame) {
  dock::Cursor cursor(frame.data);
  return static_cast<std::int32_t>(cursor.u32());
}

}  // namespace

std::vector<std::uint8_t> newtonVersionInfo(bool os1, std::uint32_t screenWidth) {
  const std::uint32_t longs[14] = {
      0x00001234,  // Newton id
      0x01000000,  // manufacturer
      0x10003000,  // machine type
      os1 ? 0x00010003u : 0x00020002u,  // ROM version
      0x00008000,  // ROM stage
      0x00400000,  // RAM size
      480,         // screen height
      screenWidth, // screen width
      0,           // patch version
      0x00020001,  // OS version
      0x1A1FF001,  // internal store signature (a NewtonScript integer, as store frames carry it)
      100,         // vertical dpi
      100,         // horizontal dpi
      1,           // screen depth
  };
  std::vector<std::uint8_t> info;
  for (std::uint32_t value : longs) {
    const auto bytes = dock::be32(value);
    info.insert(info.end(), bytes.begin(), bytes.end());
  }
  return info;
}

std::vector<std::uint8_t> nameFrame(const std::string& newtonName, std::uint32_t dataLength, bool os1,
                                    std::uint32_t screenWidth) {
  const std::vector<std::uint8_t> info = newtonVersionInfo(os1, screenWidth);
  std::vector<std::uint8_t> data;
  const auto infoLength = dock::be32(static_cast<std::uint32_t>(info.size()));
  data.insert(data.end(), infoLength.begin(), infoLength.end());
  data.insert(data.end(), info.begin(), info.end());
  for (unsigned char c : newtonName) {
    data.push_back(0);
    data.push_back(c < 0x80 ? c : '?');
  }
  data.push_back(0);
  data.push_back(0);
  if (dataLength > data.size()) data.resize(dataLength, 0);
  return dock::encodeFrame("name", data);
}

DockProtocol::DockProtocol(DockFaults faults, std::string newtonName, DockTiming timing, NewtonIdentity identity,
                           std::optional<StoreService> stores)
    : faults_(std::move(faults)), newtonName_(std::move(newtonName)), timing_(timing), reader_(kPackageLimit),
      identity_(std::move(identity)), stores_(std::move(stores)) {}

std::vector<DockAction> DockProtocol::tick(std::int64_t nowMs) {
  nowMs_ = nowMs;
  std::vector<DockAction> out;
  if (stores_ && stores_->streaming() && !disconnected_) {
    if (auto next = stores_->nextOfStream(nowMs)) perform(out, *next, DockAction::Post);
    return out;
  }
  if (!installing_ || disconnected_) return out;
  if (nowMs >= installEndsMs_) {
    installing_ = false;
    send(out, "dres", dock::encodeLongFrame("dres", packageResult_));
  } else if (timing_.heloEveryMs > 0 && nowMs >= nextHeloMs_) {
    nextHeloMs_ = nowMs + timing_.heloEveryMs;
    send(out, "helo", dock::encodeFrame("helo", {}));
  }
  return out;
}

void DockProtocol::send(std::vector<DockAction>& out, const std::string& command, std::vector<std::uint8_t> frame) {
  const std::uint64_t length = frame.size() - dock::kFrameHeaderSize;
  std::size_t pad = 0;
  {
    dock::Cursor cursor(frame);
    cursor.skip(12);
    const std::uint32_t count = cursor.u32();
    pad = static_cast<std::size_t>(length - count);
    out.push_back(logAction(frameLine("tx", command, count, pad)));
  }
  out.push_back(DockAction{DockAction::Send, std::move(frame), command});
}

std::vector<DockAction> DockProtocol::start() {
  std::vector<DockAction> out;
  if (faults_.noOpening) {
    out.push_back(logAction("fault no-opening"));
  } else if (faults_.wrongOpening) {
    out.push_back(logAction("fault wrong-opening"));
    send(out, "helo", dock::encodeFrame("helo", {}));
  } else {
    send(out, "rtdk", dock::encodeLongFrame("rtdk", kDockProtocolVersion));
  }
  return out;
}

std::vector<DockAction> DockProtocol::feed(std::span<const std::uint8_t> bytes) {
  std::vector<DockAction> out;
  if (dropped_) return out;
  // Package bytes are watched as they come, so a fault can strike in the middle of the stream.
  std::size_t at = 0;
  while (at < bytes.size()) {
    std::size_t take = bytes.size() - at;
    if (!reader_.inFrame()) take = 1;  // header bytes one by one: a package's first byte may follow at once
    if (reader_.inFrame() && reader_.currentCommand() == "lpkg" && !cancelled_) {
      const std::int64_t limit = faults_.dropAfter >= 0 ? faults_.dropAfter : faults_.cancelAfter;
      const std::int64_t seen = packageBytesSeen();
      if (limit > seen) take = std::min<std::size_t>(take, static_cast<std::size_t>(limit - seen));
    }
    reader_.feed(bytes.subspan(at, take));
    at += take;
    watchPackage(out);
    if (dropped_) return out;
    while (reader_.hasFrame()) onFrame(out, reader_.next());
  }
  return out;
}

std::int64_t DockProtocol::packageBytesSeen() const {
  const bool inPackage = reader_.inFrame() && reader_.currentCommand() == "lpkg";
  return earlierPackageBytes_ + (inPackage ? static_cast<std::int64_t>(reader_.currentDataReceived()) : 0);
}

void DockProtocol::watchPackage(std::vector<DockAction>& out) {
  if (!reader_.inFrame() || reader_.currentCommand() != "lpkg" || cancelled_) return;
  const std::int64_t seen = packageBytesSeen();
  if (faults_.dropAfter >= 0 && seen >= faults_.dropAfter) {
    dropped_ = true;
    out.push_back(logAction("fault drop after=" + std::to_string(seen)));
    out.push_back(DockAction{DockAction::Hangup, {}, "dropped"});
  } else if (faults_.cancelAfter >= 0 && seen >= faults_.cancelAfter) {
    cancelled_ = true;
    out.push_back(logAction("fault cancel after=" + std::to_string(seen)));
    send(out, "opca", dock::encodeFrame("opca", {}));
    reader_.abandonFrame();  // the rest of the package is no longer wanted
  }
}

void DockProtocol::onFrame(std::vector<DockAction>& out, dock::Frame frame) {
  std::string line = frameLine("rx", frame.command, frame.length, frame.padding);
  if (frame.command == "dock" || frame.command == "stim") line += " value=" + std::to_string(longOf(frame));
  out.push_back(logAction(line));
  received_.push_back(frame.command);
  if (frame.command == "dock") {
    send(out, "name", nameFrame(newtonName_, faults_.nameLength, identity_.os1, identity_.screenWidth));
  } else if (onSecureFrame(out, frame)) {
    // the Newton OS 2.x session: its opening, and the desktop's backup
  } else if (frame.command == "stim") {
    send(out, "dres", dock::encodeLongFrame("dres", 0));
  } else if (frame.command == "lpkg") {
    const PackageVerdict verdict = checkPackage(frame.data, frame.length);
    packageResult_ = faults_.result.value_or(verdict.result);
    if (static_cast<std::size_t>(packagesReceived_) < faults_.results.size())
      packageResult_ = faults_.results[static_cast<std::size_t>(packagesReceived_)];
    packageStored_ = true;
    ++packagesReceived_;
    earlierPackageBytes_ += frame.length;
    std::string summary = "check result=" + std::to_string(verdict.result) + " name=" + verdict.name +
                          " parts=" + std::to_string(verdict.parts);
    if (!verdict.reason.empty()) summary += " reason=" + verdict.reason;
    out.push_back(logAction(summary));
    out.push_back(DockAction{DockAction::PackageReceived, std::move(frame.data), summary, packagesReceived_});
    if (faults_.result) out.push_back(logAction("fault result=" + std::to_string(*faults_.result)));
    if (faults_.silentOnPackages) {
      out.push_back(logAction("fault silent"));
    } else if (timing_.installMs > 0) {
      installing_ = true;
      installEndsMs_ = nowMs_ + timing_.installMs;
      nextHeloMs_ = nowMs_ + timing_.heloEveryMs;
      out.push_back(logAction("installing ms=" + std::to_string(timing_.installMs)));
    } else {
      send(out, "dres", dock::encodeLongFrame("dres", packageResult_));
    }
  } else if (frame.command == "disc") {
    disconnected_ = true;
    out.push_back(DockAction{DockAction::Hangup, {}, "disc"});
  } else if (frame.command == "ocaa" || frame.command == "helo" || frame.command == "dres" ||
             frame.command == "opdn") {
    // the desktop's acknowledgement of a cancel, a keep-alive, its own result or the end of an operation
  } else {
    std::vector<std::uint8_t> what(frame.command.begin(), frame.command.end());
    send(out, "unkn", dock::encodeFrame("unkn", what));
  }
}

// The exchange of the Dante Connection Protocol ERS after the name: "dinf" (the desktop's key), "ninf" (ours),
// "wicn", then "stim" answered with "pass", NDES under our password's key of the desktop's key, which the desktop
// checks; its own "pass" is NDES of our key, which we check. Then the store commands.
bool DockProtocol::onSecureFrame(std::vector<DockAction>& out, const dock::Frame& frame) {
  const std::string& command = frame.command;
  const std::uint64_t passwordKey = crypto::passwordKey(std::string_view(identity_.password));
  const auto key = [](const dock::Frame& f, std::size_t at) {
    dock::Cursor cursor(f.data);
    cursor.skip(at);
    const std::uint64_t high = cursor.u32();
    return high << 32 | cursor.u32();
  };
  const auto keyFrame = [](const char* name, std::uint32_t first, bool withFirst, std::uint64_t k) {
    std::vector<std::uint8_t> data;
    for (const std::uint32_t word : {first, static_cast<std::uint32_t>(k >> 32), static_cast<std::uint32_t>(k)}) {
      const auto bytes = dock::be32(word);
      data.insert(data.end(), bytes.begin(), bytes.end());
    }
    if (!withFirst) data.erase(data.begin(), data.begin() + 4);
    return dock::encodeFrame(name, data);
  };
  if (command == "dinf") {
    secure_ = true;
    desktopKey_ = key(frame, 8);
    send(out, "ninf", keyFrame("ninf", 10, true, kNewtonKey));
  } else if (command == "wicn") {
    send(out, "dres", dock::encodeLongFrame("dres", 0));
  } else if (command == "stim" && secure_) {
    send(out, "pass", keyFrame("pass", 0, false, crypto::newtonDes(passwordKey, desktopKey_)));
  } else if (command == "pass") {
    sessionUp_ = key(frame, 0) == crypto::newtonDes(passwordKey, kNewtonKey);
    out.push_back(logAction(sessionUp_ ? "session up" : "password wrong"));
    if (!sessionUp_) send(out, "dres", dock::encodeLongFrame("dres", -28022));
  } else if (command == "opca" || command == "opcn") {
    if (stores_) stores_->cancelStream();
    keyboard_.cancel();
    send(out, "ocaa", dock::encodeFrame("ocaa", {}));
  } else if (stores_ && StoreService::answers(command)) {
    perform(out, stores_->answer(frame), DockAction::Send);
  } else if (sessionUp_ && KeyboardService::answers(command)) {
    for (std::string& line : keyboard_.take(frame)) out.push_back(logAction(std::move(line)));
  } else {
    return false;
  }
  return true;
}

void DockProtocol::perform(std::vector<DockAction>& out, const StoreAnswer& answer, DockAction::Kind how) {
  for (const std::string& line : answer.log) out.push_back(logAction(line));
  if (answer.added) {
    const AddedEntry& added = *answer.added;
    out.push_back(DockAction{DockAction::EntryAdded, added.nsof, added.store + "/" + added.soup,
                             static_cast<int>(added.uniqueId)});
  }
  for (const auto& frame : answer.frames) {
    const std::string command(frame.begin() + 8, frame.begin() + 12);
    send(out, command, frame);
    if (how == DockAction::Post) out.back().kind = DockAction::Post;
  }
  if (answer.hangUp) {
    dropped_ = true;
    out.push_back(DockAction{DockAction::Hangup, {}, "dropped"});
  }
}

}  // namespace skiff::newton
