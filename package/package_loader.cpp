#include "package/package_loader.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>
#include <string>

#include "core/pipe_calls.h"
#include "core/pump.h"
#include "core/texts.h"
#include "dock/frame.h"
#include "dock/result.h"

namespace skiff {

namespace {

constexpr std::int32_t kAreaSize = 500;  // the message area: what one read from the Newton takes at most
constexpr std::size_t kNewtonKeep = 64;  // data kept of each frame the Newton sends
constexpr std::int32_t kWaitPassMs = 20;
constexpr std::int32_t kStreamAborted = 1;  // the user's abort; link codes are all negative

// Whether a chunk write is outstanding; the writes' completion routine clears it through the reference value.
// It outlives every load: the link runs the routine of a write it dropped at its next idle, which may come after
// the load that made the write has returned.
bool writePending = false;

bool linkUp(std::int32_t state) { return state == state::kConnected || state == state::kOutputBusy; }

// One session with the Newton's dock. Without a batch it loads the package open in app.openFile, as the Package
// command does; with one it loads each package of the batch in turn over the same session.
class PackageLoad {
 public:
  PackageLoad(Runtime& rt, PackageBatch* batch)
      : rt_(rt), app_(rt.app), link_(rt.link), pipe_(rt.app.pipe), calls_{rt.link, rt.app.pipe}, batch_(batch) {}
  std::int32_t run();

 private:
  // --- link calls as the dock exchange makes them ---
  std::int16_t read(std::uint8_t* buffer, std::int32_t wanted, std::int32_t* delivered);
  std::int16_t writeFrameBytes(const std::uint8_t* data, std::int32_t count, std::uint8_t endOfMessage);
  std::int16_t writeChunkBytes(const std::uint8_t* data, std::int32_t count, std::uint8_t endOfMessage);
  std::int16_t writeLongFrame(std::string_view command, std::int32_t value);
  std::int16_t writeEmptyFrame(std::string_view command);

  // --- steps ---
  std::int16_t readOpeningRest();
  std::int16_t readReply();
  // Every byte read from the Newton goes through the frame reader.
  void takeFromNewton(std::span<const std::uint8_t> bytes);
  std::int16_t readFromNewton(std::uint32_t count);
  std::int16_t takeWaitingInput(std::int32_t* queryStatus);
  std::int32_t sendChunk(std::int32_t count);
  std::int32_t waitForChunkWritten();
  std::int32_t waitForRoom();
  std::int32_t drainOutput();
  std::int32_t announce();
  std::int32_t stream();
  std::int32_t waitForInstallResult();
  void noticeNewtonFrames();
  void newtonStops(std::string detail);
  bool deadlinePassed(std::uint32_t start) const;

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
  std::array<std::uint8_t, kAreaSize> message_{};
  std::array<std::uint8_t, kPackageChunkSize> chunk_{};
  std::int32_t length_ = 0;
  PackageBatch* batch_;      // null: the one package in app.openFile
  std::size_t index_ = 0;    // the batch's package being loaded

  // Every frame the Newton sends, from its opening on. What counts comes after the time-out frame: its answer to
  // that frame, then its install result, or a cancel or error that stops the load.
  dock::FrameReader newton_{kNewtonKeep};
  std::uint32_t newtonLastHeard_ = 0;  // tick count of the last frame taken from the Newton
  bool stimAnswered_ = false;
  bool resultOwed_ = false;       // the package was announced and the Newton has not answered it yet
  bool streaming_ = false;        // its bytes are going
  bool installAnswered_ = false;  // the Newton answered the package being loaded
  std::int32_t installResult_ = 0;
  bool newtonStopped_ = false;
  std::string newtonDetail_;
};

std::int16_t PackageLoad::read(std::uint8_t* buffer, std::int32_t wanted, std::int32_t* delivered) {
  return calls_.read(buffer, wanted, kDockIoTimeoutMs, delivered);
}

std::int16_t PackageLoad::writeFrameBytes(const std::uint8_t* data, std::int32_t count,
                                          std::uint8_t endOfMessage) {
  return calls_.write(data, count, endOfMessage, kDockIoTimeoutMs);
}

std::int16_t PackageLoad::writeChunkBytes(const std::uint8_t* data, std::int32_t count,
                                          std::uint8_t endOfMessage) {
  return calls_.write(data, count, endOfMessage, kDockIoTimeoutMs, onChunkWritten,
                      reinterpret_cast<std::intptr_t>(&writePending));
}

// Header 12 (0), count 4 (0), data 4 (1).
std::int16_t PackageLoad::writeLongFrame(std::string_view command, std::int32_t value) {
  const auto header = dock::frameHeader(command);
  const auto count = dock::be32(4);
  const auto data = dock::be32(static_cast<std::uint32_t>(value));
  std::int16_t status = writeFrameBytes(header.data(), 12, 0);
  if (status == 0) status = writeFrameBytes(count.data(), 4, 0);
  if (status == 0) status = writeFrameBytes(data.data(), 4, 1);
  return status;
}

// Header 12 (0), count 0 (1).
std::int16_t PackageLoad::writeEmptyFrame(std::string_view command) {
  const auto header = dock::frameHeader(command);
  const auto count = dock::be32(0);
  std::int16_t status = writeFrameBytes(header.data(), 12, 0);
  if (status == 0) status = writeFrameBytes(count.data(), 4, 1);
  return status;
}

// The opening frame's count, then once more as many bytes as that read delivered (its version word).
std::int16_t PackageLoad::readOpeningRest() {
  std::int32_t got = 0;
  std::int16_t status = read(message_.data(), 4, &got);
  if (status != 0) return status;
  takeFromNewton(std::span<const std::uint8_t>(message_.data(), static_cast<std::size_t>(got)));
  return readFromNewton(static_cast<std::uint32_t>(got));
}

// The reply to "newtdockdock" (the Newton's name): header and count, then the data as far as the message area
// holds it with a terminator, the rest of it in pieces, and its padding. The frame reader takes it all, as it
// takes every later frame, and tells how long the data is.
std::int16_t PackageLoad::readReply() {
  std::int16_t status = readFromNewton(static_cast<std::uint32_t>(dock::kHeaderSize));
  if (status == 0) status = readFromNewton(4);
  if (status != 0) return status;
  const std::uint32_t length = newton_.inFrame() ? newton_.currentLength() : 0;
  const std::uint32_t kept = std::min<std::uint32_t>(length, kAreaSize - 1);
  for (const std::uint32_t part : {kept, length - kept, static_cast<std::uint32_t>(dock::padFor(length))}) {
    if (const std::int16_t failed = readFromNewton(part); failed != 0) return failed;
  }
  return 0;
}

void PackageLoad::takeFromNewton(std::span<const std::uint8_t> bytes) { newton_.feed(bytes); }

std::int16_t PackageLoad::readFromNewton(std::uint32_t count) {
  return calls_.readInPieces(count, message_, kDockIoTimeoutMs,
                             [this](std::span<const std::uint8_t> piece) { takeFromNewton(piece); });
}

// Reads whatever the Newton has sent and not yet been read, in message-area pieces.
std::int16_t PackageLoad::takeWaitingInput(std::int32_t* queryStatus) {
  std::int32_t waiting = 0;
  const std::int32_t query = link_.pipeBytesAvailable(pipe_, side::kInput, &waiting);
  if (queryStatus != nullptr) *queryStatus = query;
  if (waiting <= 0) return 0;
  return readFromNewton(static_cast<std::uint32_t>(waiting));
}

void PackageLoad::newtonStops(std::string detail) {
  if (newtonStopped_) return;
  newtonStopped_ = true;
  newtonDetail_ = std::move(detail);
  for (int i = 0; i < 3; ++i) rt_.shell.beep();
}

void PackageLoad::noticeNewtonFrames() {
  while (newton_.hasFrame()) {
    const dock::Frame frame = newton_.next();
    newtonLastHeard_ = rt_.shell.tickCount();
    if (frame.command == "dres") {
      dock::Cursor cursor(frame.data);
      const auto result = static_cast<std::int32_t>(cursor.u32());
      // The first result answers "stim", each later one the package announced before it.
      const bool answersPackage = stimAnswered_ && resultOwed_;
      stimAnswered_ = true;
      if (answersPackage) {
        resultOwed_ = false;
        installAnswered_ = true;
        installResult_ = result;
      }
      // A batch goes on after a refused package once all of it went; a refusal while it still goes stops it.
      const bool batchGoesOn = batch_ != nullptr && answersPackage && !streaming_;
      if (result != 0 && !batchGoesOn) newtonStops(dock::resultText(result));
    } else if (frame.command == "opca" || frame.command == "opcn") {
      newtonStops("(operation cancelled)");
      writeEmptyFrame("ocaa");  // a failure here shows again at "newtdockdisc"
    } else if (frame.command == "unkn") {
      const std::string what(frame.data.begin(), frame.data.begin() + std::min<std::size_t>(frame.data.size(), 4));
      newtonStops("(unknown command " + what + ")");
    }
    // "helo" keeps the session alive; anything else has no bearing on the load.
  }
}

bool PackageLoad::deadlinePassed(std::uint32_t start) const {
  return static_cast<std::int64_t>(rt_.shell.tickCount() - start) >= kDockWaitLimitMs;
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

std::int32_t PackageLoad::waitForChunkWritten() {
  const std::uint32_t start = rt_.shell.tickCount();
  while (writePending) {
    if (!linkUp(link_.pipeState(pipe_))) return code::kDisconnected;
    if (deadlinePassed(start)) return code::kTimeout;
    pumpFor(rt_, 0);
  }
  return 0;
}

// Streaming ahead: the chunk just written may wait behind the one before it, but not behind more.
std::int32_t PackageLoad::waitForRoom() {
  const std::uint32_t start = rt_.shell.tickCount();
  for (;;) {
    std::int32_t pending = 0;
    link_.pipeBytesAvailable(pipe_, side::kOutput, &pending);
    if (pending <= kPackageChunkSize) return 0;
    if (!linkUp(link_.pipeState(pipe_))) return code::kDisconnected;
    if (deadlinePassed(start)) return code::kTimeout;
    pumpFor(rt_, 0);
  }
}

// Waits until every byte written has left and been acknowledged.
std::int32_t PackageLoad::drainOutput() {
  const std::uint32_t start = rt_.shell.tickCount();
  link_.pipeIdle(pipe_);
  for (;;) {
    std::int32_t pending = 0;
    link_.pipeBytesAvailable(pipe_, side::kOutput, &pending);
    const std::int32_t state = link_.pipeState(pipe_);
    if (pending < 1 && state != state::kOutputBusy) break;
    if (!linkUp(state)) return code::kDisconnected;
    if (deadlinePassed(start)) return code::kTimeout;
    pumpFor(rt_, 0);
    link_.pipeIdle(pipe_);
  }
  link_.pipeIdle(pipe_);
  std::int32_t pending = 0;
  std::int32_t query = link_.pipeBytesAvailable(pipe_, side::kOutput, &pending);
  while (pending != 0 && query == 0) {
    if (deadlinePassed(start)) return code::kTimeout;
    pumpFor(rt_, 0);
    link_.pipeIdle(pipe_);
    query = link_.pipeBytesAvailable(pipe_, side::kOutput, &pending);
  }
  return 0;
}

// "newtdocklpkg" with the package's length: header 12 (0), count 4 (1), then the output pushed.
std::int32_t PackageLoad::announce() {
  app_.openFile.seek(0);
  app_.bytesTotal = length_;
  const auto header = dock::frameHeader("lpkg");
  const auto count = dock::be32(static_cast<std::uint32_t>(length_));
  std::int16_t status = writeFrameBytes(header.data(), 12, 0);
  if (status == 0) status = writeFrameBytes(count.data(), 4, 1);
  if (status == 0) status = link_.pipeFlush(pipe_, side::kOutput);
  if (status != 0) return status;
  resultOwed_ = true;
  installAnswered_ = false;
  setStatusText(app_, TextId::SendingPackage);
  pumpFor(rt_, 1000);
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
      ShowMessage(rt_.shell, shortfallText(app_.openFile, app_.fileName, length_));
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
    if (const std::int16_t status = takeWaitingInput(nullptr); status != 0) return status;
    noticeNewtonFrames();
    if (newtonStopped_) return 0;
  }
  return 0;
}

// After the closing pause: the Newton's "dres" with its install result. While the Newton installs it may say
// nothing but "helo"; each of its frames shows it is still at work. The pump keeps the status display ticking.
std::int32_t PackageLoad::waitForInstallResult() {
  const std::uint32_t start = rt_.shell.tickCount();
  newtonLastHeard_ = start;  // the silence counts from now at the earliest
  for (;;) {
    if (const std::int16_t status = takeWaitingInput(nullptr); status != 0) return status;
    noticeNewtonFrames();
    if (installAnswered_ || newtonStopped_ || app_.abortRequested) return 0;
    if (!linkUp(link_.pipeState(pipe_))) return 0;  // the disconnect frame then fails and says so
    const std::uint32_t now = rt_.shell.tickCount();
    if (static_cast<std::int64_t>(now - newtonLastHeard_) >= kDockStimSeconds * 1000) return 0;
    if (static_cast<std::int64_t>(now - start) >= installWaitLimitMs(length_)) return 0;
    pumpFor(rt_, kWaitPassMs);
  }
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
  if (fate == PackageFate::Refused) {
    ShowMessage(rt_.shell, app_.fileName + ": " + LoadText(TextId::ProcessAbortedByNewton), " ", outcome.detail);
  }
  if (batch_->onOutcome) batch_->onOutcome(index_, outcome);
}

std::int32_t PackageLoad::run() {
  app_.bytesTotal = 0;
  app_.transferPhase = 0;
  if (!openPackage(0)) {
    ShowMessage(rt_.shell, kCouldNotOpenFile);
    return errorEnding(code::kReadError);
  }
  openTransferStatus(rt_, TextId::InitiatingPackageConnection);
  setStatusText(app_, TextId::CalculatingFileLength);
  refreshStatus(rt_);
  std::int64_t size = app_.openFile.sizeOnDisk();
  if (size < 0 || size > std::numeric_limits<std::int32_t>::max()) return errorEnding(code::kBadParameter);
  length_ = static_cast<std::int32_t>(size);

  std::int32_t got = 0;
  if (read(message_.data(), 12, &got) != 0 || std::memcmp(message_.data(), "newtdockrtdk", 12) != 0)
    return reconnectEnding(rt_);
  takeFromNewton(std::span<const std::uint8_t>(message_.data(), dock::kHeaderSize));
  if (const std::int16_t status = readOpeningRest(); status != 0) return errorEnding(status);

  if (const std::int16_t status = writeLongFrame("dock", 4); status != 0) return errorEnding(status);
  if (const std::int16_t status = readReply(); status != 0) return errorEnding(status);
  setStatusText(app_, TextId::Connected);
  refreshStatus(rt_);

  if (const std::int16_t status = writeLongFrame("stim", kDockStimSeconds); status != 0)
    return errorEnding(status);
  if (const std::int16_t status = takeWaitingInput(nullptr); status != 0) return errorEnding(status);
  noticeNewtonFrames();

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
  pumpFor(rt_, 3000);
  if (!newtonStopped_ && !installAnswered_ && !resultWaited) {
    if (const std::int32_t status = waitForInstallResult(); status != 0) return errorEnding(status);
  }
  // The load ends with the status of this last query of the input, unless the Newton never answered.
  std::int32_t queryStatus = 0;
  if (const std::int16_t status = takeWaitingInput(&queryStatus); status != 0) return errorEnding(status);
  noticeNewtonFrames();
  // The last package's result is told as soon as it is known, not after the closing pauses.
  if (installAnswered_ && !newtonStopped_) {
    settle(installResult_ == 0 ? PackageFate::Installed : PackageFate::Refused, dock::resultText(installResult_));
  }
  if (const std::int16_t status = writeEmptyFrame("disc"); status != 0) {
    // A Newton may hang up as soon as "disc" reaches it, before its acknowledgement reaches us (on a damaged
    // line that LA can be lost): with its result in hand, that is the end asked for, not a failure.
    if (status != code::kDisconnected || !installAnswered_) return errorEnding(status);
  }

  link_.pipeIdle(pipe_);
  pumpFor(rt_, 4000);
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
    ShowMessage(rt_.shell, app_.fileName + ": " + LoadText(TextId::ProcessAbortedByNewton), " ", newtonDetail_);
    return result;
  }
  ShowMessage(rt_.shell, LoadText(TextId::ProcessAbortedByNewton), " ", newtonDetail_);
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

std::int32_t runPackageLoad(Runtime& rt) {
  PackageLoad load(rt, nullptr);
  return load.run();
}

std::int32_t runPackageBatch(Runtime& rt, PackageBatch& batch) {
  batch.outcomes.assign(batch.packages.size(), PackageOutcome{});
  if (batch.packages.empty()) return 0;
  PackageLoad load(rt, &batch);
  return load.run();
}

}  // namespace skiff
