#include "package/package_loader.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>
#include <string>

#include "core/pipe_calls.h"
#include "core/pump.h"
#include "core/texts.h"
#include "core/wait.h"
#include "dock/frame.h"
#include "dock/result.h"
#include "dock/session_driver.h"

namespace skiff {

namespace {

constexpr std::size_t kNewtonKeep = 64;  // data kept of each frame the Newton sends: none of its answers is longer
constexpr std::int32_t kWaitPassMs = 20;
constexpr std::int32_t kStreamAborted = 1;  // the user's abort; link codes are all negative

// Whether a chunk write is outstanding; the writes' completion routine clears it through the reference value.
// It outlives every load: the link runs the routine of a write it dropped at its next idle, which may come after
// the load that made the write has returned.
bool writePending = false;

bool linkUp(std::int32_t state) { return state == state::kConnected || state == state::kOutputBusy; }

dock::SessionSetup loaderSession() {
  dock::SessionSetup setup;
  setup.type = dock::SessionType::LoadPackage;
  setup.stimSeconds = kDockStimSeconds;
  setup.keepLimit = kNewtonKeep;
  return setup;
}

// One package load over the Newton's dock: the session (dock::Session) opens and answers, this streams the
// package, waits for its result and keeps the batch's fates. Without a batch it loads the package open in
// app.openFile, as the Package command does; with one it loads each package of the batch in turn over the same
// session.
class PackageLoad {
 public:
  PackageLoad(Runtime& rt, PackageBatch* batch, LoadReport& report)
      : rt_(rt), app_(rt.app), link_(rt.link), pipe_(rt.app.pipe), calls_{rt.link, rt.app.pipe},
        session_(loaderSession()), driver_(rt, session_), batch_(batch), report_(report) {}
  std::int32_t run();

 private:
  // --- steps ---
  std::int32_t open();
  std::int32_t sendChunk(std::int32_t count);
  std::int16_t writeChunkBytes(const std::uint8_t* data, std::int32_t count, std::uint8_t endOfMessage);
  std::int32_t waitLinkUp(const std::function<bool()>& done);
  std::int32_t waitForChunkWritten();
  std::int32_t waitForRoom();
  std::int32_t drainOutput();
  std::int32_t announce();
  std::int32_t stream();
  std::int32_t waitForInstallResult();
  void noticeNewtonEvents();
  void newtonStops(std::string detail);
  std::string newtonStopText() const {
    return ShowMessageText(LoadText(TextId::ProcessAbortedByNewton), " ", newtonDetail_, "");
  }

  // --- the batch ---
  bool openPackage(std::size_t index);
  bool lastPackage() const { return !batch_ || index_ + 1 >= batch_->packages.size(); }
  void settle(PackageFate fate, std::string detail = {});

  // --- endings ---
  std::int32_t errorEnding(std::int32_t status);
  std::int32_t abortEnding();
  std::int32_t finish(std::int32_t result);

  Runtime& rt_;
  AppState& app_;
  LinkOps& link_;
  PipeHandle pipe_;
  PipeCalls calls_;
  dock::Session session_;
  dock::SessionDriver driver_;
  std::array<std::uint8_t, kPackageChunkSize> chunk_{};
  std::int32_t length_ = 0;
  PackageBatch* batch_;      // null: the one package in app.openFile
  LoadReport& report_;
  std::size_t index_ = 0;    // the batch's package being loaded

  dock::RequestId packageRequest_ = 0;  // the "lpkg" being loaded: the Newton's install result answers it
  bool streaming_ = false;        // its bytes are going
  bool installAnswered_ = false;  // the Newton answered the package being loaded
  std::int32_t installResult_ = 0;
  bool newtonStopped_ = false;
  std::string newtonDetail_;
};

// The Newton's opening: its "rtdk" within the time of one read (else the caller is to listen again,
// SESSION_RECONNECT), then its name, which the session answers with the time-out frame.
std::int32_t PackageLoad::open() {
  const WaitBounds oneRead{dock::kDockIoTimeoutMs, 0, true, 0};
  const std::int32_t opening = driver_.waitFor([this] { return session_.pastOpeningFrame(); }, oneRead, false);
  if (opening != 0 || session_.ended()) return SESSION_RECONNECT;
  const std::int32_t named = driver_.waitFor([this] { return session_.opened() || session_.ended(); }, oneRead,
                                             false);
  if (named != 0) return named;
  setStatusText(app_, TextId::Connected);
  refreshStatus(rt_);
  if (const std::int16_t status = driver_.send(); status != 0) return status;
  if (const std::int16_t status = driver_.take(); status != 0) return status;
  noticeNewtonEvents();
  return 0;
}

void PackageLoad::newtonStops(std::string detail) {
  if (newtonStopped_) return;
  newtonStopped_ = true;
  newtonDetail_ = std::move(detail);
  for (int i = 0; i < 3; ++i) rt_.shell.beep();
}

void PackageLoad::noticeNewtonEvents() {
  while (session_.hasEvent()) {
    const dock::SessionEvent e = session_.nextEvent();
    switch (e.kind) {
      case dock::SessionEvent::Reply:
      case dock::SessionEvent::Unexpected: {
        if (e.frame.command != "dres") break;
        const bool answersPackage = e.kind == dock::SessionEvent::Reply && e.request == packageRequest_;
        if (answersPackage) {
          installAnswered_ = true;
          installResult_ = e.result;
        }
        // A batch goes on after a refused package once all of it went; a refusal while it still goes stops it.
        const bool batchGoesOn = batch_ != nullptr && answersPackage && !streaming_;
        const std::int32_t result = dock::longOf(e.frame);
        if (result != 0 && !batchGoesOn) newtonStops(dock::resultText(result));
        break;
      }
      case dock::SessionEvent::Failed:
        newtonStops(dock::resultText(e.result));
        break;
      case dock::SessionEvent::NewtonCancelled:
        newtonStops("(operation cancelled)");
        (void)driver_.send();  // "newtdockocaa"; a failure here shows again at "newtdockdisc"
        break;
      case dock::SessionEvent::Unknown: {
        const auto& data = e.frame.data;
        const std::string what(data.begin(), data.begin() + static_cast<std::ptrdiff_t>(std::min<std::size_t>(data.size(), 4)));
        newtonStops("(unknown command " + what + ")");
        break;
      }
      default:
        break;  // anything else has no bearing on the load; a Newton's "disc" shows as the link's end
    }
  }
}

std::int16_t PackageLoad::writeChunkBytes(const std::uint8_t* data, std::int32_t count,
                                          std::uint8_t endOfMessage) {
  return calls_.write(data, count, endOfMessage, dock::kDockIoTimeoutMs, onChunkWritten,
                      reinterpret_cast<std::intptr_t>(&writePending));
}

std::int32_t PackageLoad::sendChunk(std::int32_t count) {
  writePending = true;
  const bool inPieces = app_.settings.moreBackgroundTime != 0 && count > kPackagePieceSize;
  if (!inPieces) return writeChunkBytes(chunk_.data(), count, 1);
  const std::int32_t pieces = count / kPackagePieceSize;
  const std::int32_t rest = count - kPackagePieceSize * pieces;
  for (std::int32_t i = 0; i < pieces; ++i) {
    const std::int16_t status = writeChunkBytes(chunk_.data() + kPackagePieceSize * i, kPackagePieceSize, 0);
    if (status != 0) return status;
    pumpFor(rt_, 0);
  }
  // Any piece's completion clears the flag. Set again here, it stands for the rest's write alone; when the chunk
  // was whole pieces, nothing is waited for.
  writePending = true;
  if (rest > 0) {
    const std::int16_t status = writeChunkBytes(chunk_.data() + kPackagePieceSize * pieces, rest, 1);
    if (status != 0) return status;
  } else {
    writePending = false;
  }
  link_.pipeFlush(pipe_, side::kOutput);
  return 0;
}

// A wait for `done` while the link stays up, bounded beyond the link's own bounds.
std::int32_t PackageLoad::waitLinkUp(const std::function<bool()>& done) {
  return waitUntil(rt_, WaitBounds{kDockWaitLimitMs, 0, true, 0}, [&] {
    if (done()) return WaitStep::finished(0);
    if (!linkUp(link_.pipeState(pipe_))) return WaitStep::finished(code::kDisconnected);
    return WaitStep::waiting();
  });
}

std::int32_t PackageLoad::waitForChunkWritten() {
  return waitLinkUp([] { return !writePending; });
}

// Streaming ahead: the chunk just written may wait behind the one before it, but not behind more.
std::int32_t PackageLoad::waitForRoom() {
  return waitLinkUp([this] {
    std::int32_t pending = 0;
    link_.pipeBytesAvailable(pipe_, side::kOutput, &pending);
    return pending <= kPackageChunkSize;
  });
}

// Waits until every byte written has left and been acknowledged: first the link's state, then its count.
std::int32_t PackageLoad::drainOutput() {
  link_.pipeIdle(pipe_);
  bool left = false;  // the link says the output is no longer busy
  return waitUntil(rt_, WaitBounds{kDockWaitLimitMs, 0, true, 0}, [&] {
    std::int32_t pending = 0;
    const std::int32_t query = link_.pipeBytesAvailable(pipe_, side::kOutput, &pending);
    if (left) {
      if (pending == 0 || query != 0) return WaitStep::finished(0);
    } else {
      const std::int32_t state = link_.pipeState(pipe_);
      if (pending < 1 && state != state::kOutputBusy) {
        left = true;
      } else if (!linkUp(state)) {
        return WaitStep::finished(code::kDisconnected);
      }
    }
    link_.pipeIdle(pipe_);
    return WaitStep::waiting();
  });
}

// "newtdocklpkg" with the package's length as one message, then the output pushed.
std::int32_t PackageLoad::announce() {
  app_.openFile.seek(0);
  app_.bytesTotal = length_;
  packageRequest_ = session_.askStream("lpkg", static_cast<std::uint32_t>(length_), dock::Expect{{"dres"}, {}});
  std::int32_t status = driver_.send();
  if (status == 0) status = link_.pipeFlush(pipe_, side::kOutput);
  if (status != 0) return status;
  installAnswered_ = false;
  setStatusText(app_, TextId::SendingPackage);
  // The Package command has always paused here; a Newton's dock reads the data as it follows the header, and
  // desktops that install batches send it at once, as the command line does.
  if (batch_ == nullptr) pumpFor(rt_, 1000);
  link_.pipeIdle(pipe_);
  return 0;
}

// Returns 0 when the file is exhausted or the Newton stopped the load, kStreamAborted, or a failure code.
std::int32_t PackageLoad::stream() {
  const bool ahead = batch_ != nullptr && batch_->streamAhead;
  streaming_ = true;
  std::int32_t total = 0;
  bool done = false;
  while (!done) {
    if (app_.abortRequested) return kStreamAborted;
    // Never more than was announced, so the frame's count stays true if the file grows meanwhile.
    const std::int32_t want = std::min(kPackageChunkSize, length_ - total);
    const auto got = static_cast<std::int32_t>(app_.openFile.read(chunk_.data(), static_cast<std::size_t>(want)));
    // Short of what was announced (the file shrank, or cannot be read): an error, never a padded frame.
    if (got < want) {
      report_.texts.push_back(shortfallText(app_.openFile, app_.fileName, length_));
      return code::kReadError;
    }
    total += got;
    app_.transferPhase = total;
    refreshStatus(rt_);
    if (got <= 0) {
      done = true;
    } else {
      std::int32_t count = got;
      if (total == length_) {
        // The frame ends with zero padding to a four-byte boundary; it fits, since 2048 is a multiple of 4.
        const auto pad = static_cast<std::int32_t>(dock::padFor(static_cast<std::uint32_t>(length_)));
        std::memset(chunk_.data() + count, 0, static_cast<std::size_t>(pad));
        count += pad;
      }
      std::int32_t status = sendChunk(count);
      if (status == 0) status = ahead ? waitForRoom() : waitForChunkWritten();
      if (status != 0) return status;
    }
    if (!ahead || done) {
      std::int32_t status = drainOutput();
      if (status == 0 && ahead) status = waitForChunkWritten();
      if (status != 0) return status;
    }
    // Once the last byte has gone, the Newton's result answers the whole package.
    streaming_ = total < length_;
    // The Newton may cancel or report an error while the package goes.
    if (const std::int16_t status = driver_.take(); status != 0) return status;
    noticeNewtonEvents();
    if (newtonStopped_) return 0;
  }
  return 0;
}

// After the closing pause: the Newton's "dres" with its install result. While the Newton installs it may say
// nothing but "helo"; each of its frames shows it is still at work and starts the "stim" time of silence again,
// and an overall bound that grows with the package ends a Newton that never stops saying it.
std::int32_t PackageLoad::waitForInstallResult() {
  const std::int32_t status = driver_.waitFor(
      [this] {
        noticeNewtonEvents();
        // A link that is gone ends the wait: the disconnect frame then fails and says so.
        return installAnswered_ || newtonStopped_ || app_.abortRequested || !linkUp(link_.pipeState(pipe_));
      },
      WaitBounds{installWaitLimitMs(length_), kDockStimSeconds * 1000, true, kWaitPassMs});
  return status == code::kTimeout ? 0 : status;
}

bool PackageLoad::openPackage(std::size_t index) {
  index_ = index;
  if (batch_ == nullptr) return true;  // the Package command opened its file
  const PackageToLoad& package = batch_->packages[index];
  app_.batch.fileNumber = static_cast<int>(index + 1);
  app_.fileName = package.name;
  app_.fileOpened = app_.openFile.open(package.path, false);
  return app_.fileOpened;
}

// The package being loaded has ended this way; installed ones count toward the batch's figures.
void PackageLoad::settle(PackageFate fate, std::string detail) {
  if (batch_ == nullptr || index_ >= batch_->outcomes.size()) return;
  PackageOutcome& outcome = batch_->outcomes[index_];
  if (outcome.fate != PackageFate::NotSent) return;
  outcome.fate = fate;
  outcome.detail = std::move(detail);
  outcome.bytes = length_;
  if (fate == PackageFate::Installed) {
    ++app_.batch.filesSent;
    app_.batch.bytesSent += length_;
  }
  if (batch_->onOutcome) batch_->onOutcome(index_, outcome);
}

std::int32_t PackageLoad::run() {
  app_.bytesTotal = 0;
  app_.transferPhase = 0;
  if (!openPackage(0)) {
    report_.texts.emplace_back(kCouldNotOpenFile);
    return errorEnding(code::kReadError);
  }
  openTransferStatus(rt_, TextId::InitiatingPackageConnection);
  setStatusText(app_, TextId::CalculatingFileLength);
  refreshStatus(rt_);
  std::int64_t size = app_.openFile.sizeOnDisk();
  if (size < 0 || size > std::numeric_limits<std::int32_t>::max()) return errorEnding(code::kBadParameter);
  length_ = static_cast<std::int32_t>(size);

  if (const std::int32_t opened = open(); opened != 0)
    return opened == SESSION_RECONNECT ? reconnectEnding(rt_) : errorEnding(opened);

  bool resultWaited = false;  // the wait for the Newton's result ran out already
  for (;;) {
    if (const std::int32_t status = announce(); status != 0) return errorEnding(status);
    const std::int32_t streamed = stream();
    if (streamed == kStreamAborted) return abortEnding();
    if (streamed != 0) return errorEnding(streamed);
    if (newtonStopped_ || lastPackage()) break;
    // The next package follows the Newton's result for this one.
    setStatusText(app_, TextId::InstallingOnNewton);
    refreshStatus(rt_);
    if (const std::int32_t status = waitForInstallResult(); status != 0) return errorEnding(status);
    resultWaited = true;
    if (newtonStopped_ || app_.abortRequested || !installAnswered_) break;
    resultWaited = false;
    settle(installResult_ == 0 ? PackageFate::Installed : PackageFate::Refused, dock::resultText(installResult_));
    bool opened = false;
    while (!opened && !lastPackage()) {
      opened = openPackage(index_ + 1);
      if (!opened) settle(PackageFate::Failed, "could not be opened");
    }
    if (!opened) break;
    size = app_.openFile.sizeOnDisk();
    if (size < 0 || size > std::numeric_limits<std::int32_t>::max()) return errorEnding(code::kBadParameter);
    length_ = static_cast<std::int32_t>(size);
    rt_.shell.openStatus();  // the next package's own display, named as it starts
  }

  setStatusText(app_, TextId::Disconnecting);
  refreshStatus(rt_);
  // The Package command's closing pause; the command line's batch waits for the result itself, if it is not in.
  if (batch_ == nullptr) pumpFor(rt_, 3000);
  if (!newtonStopped_ && !installAnswered_ && !resultWaited) {
    if (const std::int32_t status = waitForInstallResult(); status != 0) return errorEnding(status);
  }
  // The load ends with the status of this last query of the input, unless the Newton never answered.
  std::int32_t queryStatus = 0;
  if (const std::int16_t status = driver_.take(&queryStatus); status != 0) return errorEnding(status);
  noticeNewtonEvents();
  // The last package's result is told as soon as it is known, not after the closing pauses.
  if (installAnswered_ && !newtonStopped_) {
    settle(installResult_ == 0 ? PackageFate::Installed : PackageFate::Refused, dock::resultText(installResult_));
  }
  session_.hangUp();
  if (const std::int16_t status = driver_.send(); status != 0) {
    // A Newton may hang up as soon as "disc" reaches it, before its acknowledgement reaches us (on a damaged
    // line that LA can be lost): with its result in hand, that is the end asked for, not a failure.
    if (status != code::kDisconnected || !installAnswered_) return errorEnding(status);
  }

  link_.pipeIdle(pipe_);
  if (batch_ == nullptr) {
    pumpFor(rt_, 4000);
  } else {
    // The Newton drops the link once "disc" reaches it: nothing more to wait for than that (or 4 s).
    (void)waitUntil(rt_, WaitBounds{4000, 0, true, kWaitPassMs}, [this] {
      return linkUp(link_.pipeState(pipe_)) ? WaitStep::waiting() : WaitStep::finished(0);
    });
  }
  app_.transferPhase = -1;
  link_.pipeDisconnect(pipe_);
  app_.openFile.close();
  if (!newtonStopped_ && !installAnswered_ && !app_.abortRequested) queryStatus = code::kTimeout;
  if (!installAnswered_ && !newtonStopped_) settle(app_.abortRequested ? PackageFate::Stopped : PackageFate::Failed);
  return finish(queryStatus);
}

std::int32_t PackageLoad::errorEnding(std::int32_t status) {
  settle(PackageFate::Failed);
  app_.transferPhase = -1;
  link_.pipeDisconnect(pipe_);
  app_.openFile.close();
  return finish(status);
}

std::int32_t PackageLoad::abortEnding() {
  settle(PackageFate::Stopped);
  app_.transferPhase = -1;
  link_.pipeDisconnect(pipe_);
  app_.openFile.close();
  return finish(0);
}

// The Newton's own refusal or cancel is told whichever way the load ended. A batch names the package, and has
// said all there is to say with that.
std::int32_t PackageLoad::finish(std::int32_t result) {
  if (!newtonStopped_) return result;
  if (batch_ != nullptr) {
    settle(PackageFate::Failed, newtonDetail_);
    report_.texts.push_back(app_.fileName + ": " + newtonStopText());
    return result;
  }
  report_.texts.push_back(newtonStopText());
  return result != 0 ? result : code::kAborted;
}

}  // namespace

// A minute, and a second more for every 4 KB: about five minutes for a megabyte.
std::int32_t installWaitLimitMs(std::int32_t packageLength) {
  return 60000 + std::max<std::int32_t>(packageLength, 0) / 4096 * 1000;
}

void onChunkWritten(std::int32_t, std::intptr_t refCon) {
  if (refCon != 0) *reinterpret_cast<bool*>(refCon) = false;
}

std::int32_t loadPackages(Runtime& rt, PackageBatch* batch, LoadReport& report) {
  if (batch != nullptr) {
    batch->outcomes.assign(batch->packages.size(), PackageOutcome{});
    if (batch->packages.empty()) return 0;
  }
  PackageLoad load(rt, batch, report);
  return load.run();
}

}  // namespace skiff
