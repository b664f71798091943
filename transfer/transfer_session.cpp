#include "transfer/transfer_session.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>
#include <optional>
#include <string>
#include <string_view>

#include "core/pipe_calls.h"
#include "core/pump.h"
#include "core/wait.h"
#include "core/texts.h"

namespace skiff {

namespace {

constexpr char kEot = 0x04;
constexpr std::size_t kChunkBufferSize = 1024;

// Tokens: the ASCII letters and one EOT byte.
constexpr std::string_view kParm = "PARM\x04";
constexpr std::string_view kFileType = "FILETYPE\x04";
constexpr std::string_view kFileCreator = "FILECREATOR\x04";
constexpr std::string_view kFileNameToken = "FILENAME\x04";
constexpr std::string_view kData = "DATA\x04";
constexpr std::string_view kNext = "NEXT\x04";
constexpr std::string_view kDone = "DONE\x04";

std::string_view typeToken(std::int32_t kind) {
  switch (kind) {
    case kPackage: return "SBPK\x04";
    case kBitmap: return "SBMP\x04";
    case kPicture: return "SPIB\x04";
    default: return "SPIT\x04";
  }
}

class Session {
 public:
  Session(Runtime& rt, FileToSend& file)
      : rt_(rt), app_(rt.app), file_(file), link_(rt.link), pipe_(rt.app.pipe), calls_{rt.link, rt.app.pipe} {}

  std::int32_t run();

 private:
  // One message, ended (end-of-message 1), 15 s.
  std::int32_t write(const void* bytes, std::size_t length) {
    return calls_.write(bytes, static_cast<std::int32_t>(length), 1, kWriteTimeoutMs);
  }
  std::int32_t write(std::string_view bytes) { return write(bytes.data(), bytes.size()); }

  // Two reply bytes into reply_, NUL after them.
  std::int32_t readReply(std::int32_t timeoutMs) {
    reply_.fill(0);
    std::int32_t got = 0;
    const std::int32_t status = calls_.read(reply_.data(), 2, timeoutMs, &got);
    reply_[2] = 0;
    return status;
  }
  std::int32_t readReplyWithRetry() {
    std::int32_t status = readReply(kReplyTimeoutMs);
    if (status == code::kTimeout) status = readReply(kReplyTimeoutMs);
    return status;
  }
  bool replyIs(const char* two) const { return std::memcmp(reply_.data(), two, 2) == 0; }

  // Reads and discards `pending` bytes, in pieces no larger than the chunk buffer; the first failure's status.
  std::int32_t discard(std::int32_t pending) {
    if (pending <= 0) return 0;
    return calls_.readInPieces(static_cast<std::uint32_t>(pending), chunk_, kShortReplyTimeoutMs);
  }

  // Until the link reports nothing written and not yet acknowledged (or fails), bounded by kQueueWaitLimitMs;
  // the window does not respond meanwhile.
  void waitOutputSent() {
    (void)waitUntil(rt_, WaitBounds{kQueueWaitLimitMs, 0, false, 0}, [this] {
      std::int32_t unacknowledged = 0;
      const bool gone = link_.pipeBytesAvailable(pipe_, side::kOutput, &unacknowledged) != 0 || unacknowledged == 0;
      return gone ? WaitStep::finished() : WaitStep::waiting();
    });
  }

  // A pause until whole second `deadline` of secondsNow; `pumping` keeps the window responsive.
  void pause(std::int32_t deadline, bool pumping) {
    const std::int32_t start = secondsNow(rt_.shell);
    for (;;) {
      const std::int32_t now = secondsNow(rt_.shell);
      if (now >= deadline || now < start) return;  // done, or the tick counter wrapped
      if (pumping) {
        pumpFor(rt_, 100);
      } else {
        const std::int64_t left = static_cast<std::int64_t>(deadline) * 1000 - rt_.shell.tickCount();
        rt_.shell.sleepMs(static_cast<int>(std::clamp<std::int64_t>(left, 1, 100)));
      }
    }
  }

  // The endings besides reconnectEnding: a reported failure, a shortfall of the file, a failed link call.
  std::int32_t endReport(TextId textId, std::int32_t status, bool phaseIdle) {
    ShowMessage(rt_.shell, LoadText(textId), ErrorText(status), "", "");
    if (phaseIdle) app_.transferPhase = -1;
    link_.pipeDisconnect(pipe_);
    app_.openFile.close();
    return 0;
  }
  // The file's data fell short of what was announced: the link goes down first (the Newton must not take the
  // file as whole), then the report.
  std::int32_t endShortfall(const std::string& report) {
    link_.pipeDisconnect(pipe_);
    app_.openFile.close();
    ShowMessage(rt_.shell, report);
    return 0;
  }
  std::int32_t endLinkStatus(std::int32_t status) {
    app_.transferPhase = -1;
    link_.pipeDisconnect(pipe_);
    return status;
  }

  std::optional<std::int32_t> sendParameters();
  std::optional<std::int32_t> sendTypeToken();
  std::optional<std::int32_t> sendLength();
  std::optional<std::int32_t> sendHeader();
  std::optional<std::int32_t> sendData();
  std::optional<std::int32_t> endData();
  std::optional<std::int32_t> endBatch();
  std::int32_t tailDrain();
  // A reply in the data phase: "NO" to a part (the header block, a chunk or DATA block) counts it refused.
  void noteReply() {
    if (partAnswerDue_ && replyIs("NO")) ++partsRefused_;
  }
  void recordDelivered();

  Runtime& rt_;
  AppState& app_;
  FileToSend& file_;
  LinkOps& link_;
  PipeHandle pipe_;
  PipeCalls calls_;
  std::array<std::uint8_t, 8> reply_{};
  std::int64_t dataEnd_ = 0;   // where the announced data ends in the file, in bytes on disk
  bool partAnswerDue_ = false;  // the next reply answers a part (the header or a chunk), not the length word
  std::int32_t parts_ = 0;
  std::int32_t partsRefused_ = 0;
  std::int64_t bytesSent_ = 0;
  std::array<std::uint8_t, kChunkBufferSize> chunk_{};
};

std::optional<std::int32_t> Session::sendParameters() {
  if (write(kParm) != 0) return reconnectEnding(rt_);
  if (readReply(kReplyTimeoutMs) != 0) return std::nullopt;  // no answer: go straight to the type token

  // The name goes whole, however long: the message is the name and one EOT byte.
  const std::string nameValue = (file_.announcedName.empty() ? file_.fileName : file_.announcedName) + kEot;
  const std::string_view steps[] = {kFileType, file_.fileTypeValue,    kParm,     kFileCreator,
                                    file_.fileCreatorValue, kParm, kFileNameToken, nameValue};
  for (std::string_view message : steps) {
    std::int32_t status = write(message);
    if (status == 0) status = readReply(kReplyTimeoutMs);
    if (status != 0) return endReport(TextId::ReadReturned, status, true);
  }
  return std::nullopt;
}

std::optional<std::int32_t> Session::sendTypeToken() {
  if (write(typeToken(file_.fileKind)) != 0) return reconnectEnding(rt_);
  const std::int32_t first = readReply(kReplyTimeoutMs);
  if (first == 0) return std::nullopt;
  if (first != code::kTimeout) return reconnectEnding(rt_);
  if (readReply(kReplyTimeoutMs) != 0) return reconnectEnding(rt_);
  if (link_.pipeState(pipe_) != state::kConnected) return reconnectEnding(rt_);
  return std::nullopt;
}

std::optional<std::int32_t> Session::sendLength() {
  setStatusText(app_, TextId::CalculatingFileLength);
  const std::int32_t deadline = secondsNow(rt_.shell) + 3;
  app_.openFile.seek(0);
  refreshStatus(rt_);

  // The size on disk, not the count of characters text reading delivers.
  std::int64_t length = std::max<std::int64_t>(app_.openFile.sizeOnDisk(), 0);
  if (file_.fileKind == kPicture) {
    // The first 512 bytes are never sent; a shorter file is announced as empty and sends nothing.
    length = std::max<std::int64_t>(length - kPictureSkip, 0);
    app_.openFile.seek(kPictureSkip);
  } else {
    app_.openFile.seek(0);
  }
  length = std::min<std::int64_t>(length, std::numeric_limits<std::int32_t>::max());
  dataEnd_ = length + (file_.fileKind == kPicture ? kPictureSkip : 0);
  app_.openFile.limitTo(dataEnd_);
  partAnswerDue_ = false;

  pause(deadline, true);

  setStatusText(app_, TextId::SendingData);
  app_.bytesTotal = static_cast<std::int32_t>(length);
  refreshStatus(rt_);

  const auto word = static_cast<std::uint32_t>(length);
  const std::uint8_t bigEndian[4] = {static_cast<std::uint8_t>(word >> 24), static_cast<std::uint8_t>(word >> 16),
                                     static_cast<std::uint8_t>(word >> 8), static_cast<std::uint8_t>(word)};
  if (const std::int32_t status = write(bigEndian, sizeof bigEndian); status != 0) return endLinkStatus(status);
  return std::nullopt;
}

std::optional<std::int32_t> Session::sendHeader() {
  if (file_.fileKind != kText || file_.textHeader.empty()) return std::nullopt;
  if (const std::int32_t status = readReply(kShortReplyTimeoutMs); status != 0)
    return endReport(TextId::ReadReturned, status, false);
  if (const std::int32_t status = write(kData); status != 0) return endLinkStatus(status);
  const std::string header = file_.textHeader + kEot;  // its LF stays an LF
  file_.textHeader.clear();                            // sent once only
  if (const std::int32_t status = write(header); status != 0) return endLinkStatus(status);
  ++parts_;
  partAnswerDue_ = true;
  return std::nullopt;
}

std::optional<std::int32_t> Session::sendData() {
  const bool text = file_.fileKind == kText;
  std::int64_t position = 0;
  if (app_.openFile.atEnd()) return std::nullopt;
  for (;;) {
    // The reply to the length word, the header, or the chunk before.
    if (const std::int32_t status = readReplyWithRetry(); status != 0)
      return endReport(TextId::UnexpectedResponse, status, false);
    noteReply();
    if (replyIs("NO")) {
      // Refused: the queues are cleared and the next chunk follows; the refused one is not sent again.
      link_.pipeFlush(pipe_, side::kOutput);
      link_.pipeFlush(pipe_, side::kInput);
    } else if (!replyIs("OK")) {
      return endReport(TextId::ReadReturned, 0, false);
    }
    link_.pipeFlush(pipe_, side::kInput);

    const std::size_t n = app_.openFile.read(chunk_.data(), kChunkDataMax);
    chunk_[n] = 0;
    // A file that ends before its announced length, or cannot be read, is never made up for: it ends here.
    if (app_.openFile.atEnd()) {
      if (const std::string report = shortfallText(app_.openFile, file_.fileName, dataEnd_); !report.empty())
        return endShortfall(report);
    }

    position = std::min<std::int64_t>(position + static_cast<std::int64_t>(kChunkDataMax), app_.bytesTotal);
    app_.transferPhase = static_cast<std::int32_t>(position);
    refreshStatus(rt_);

    if (text && chunk_[0] != 0) {
      // Line ends go out as CR, up to the first NUL of the chunk.
      for (std::size_t i = 0; chunk_[i] != 0; ++i)
        if (chunk_[i] == '\n') chunk_[i] = '\r';
    }

    if (n > 0) {
      std::int32_t status = 0;
      if (text) {
        status = write(kData);
        chunk_[n] = kEot;
        if (status == 0) status = write(chunk_.data(), n + 1);
      } else {
        status = write(chunk_.data(), n);
      }
      if (status != 0) return endLinkStatus(status);
      ++parts_;
      bytesSent_ += static_cast<std::int64_t>(n);
    }
    partAnswerDue_ = n > 0;

    link_.pipeFlush(pipe_, side::kOutput);
    waitOutputSent();
    if (app_.openFile.atEnd()) return std::nullopt;
  }
}

std::optional<std::int32_t> Session::endData() {
  if (file_.fileKind == kText) {
    if (const std::int32_t status = write(kNext); status != 0) return endLinkStatus(status);
  }
  link_.pipeIdle(pipe_);
  // The last message is answered here: "NEXT", or the last chunk. When the file's size is a multiple of 500
  // (0 included), the loop's last pass sent nothing and already read the last chunk's answer; a read now would
  // wait for a reply that never comes and turn a complete transfer into a time-out.
  if (file_.fileKind == kText || partAnswerDue_) {
    if (const std::int32_t status = readReplyWithRetry(); status != 0) return endLinkStatus(status);
    noteReply();
  }

  pause(secondsNow(rt_.shell) + 2, false);  // the window does not respond during this pause

  // What the companion still says is read and dropped; a peer that never stops talking does not hold us here.
  std::int32_t discarded = 0;
  (void)waitUntil(rt_, WaitBounds{kQueueWaitLimitMs, 0, false, 0}, [&] {
    std::int32_t pending = 0;
    if (link_.pipeBytesAvailable(pipe_, side::kInput, &pending) != 0 || pending == 0) return WaitStep::finished();
    if (const std::int32_t status = discard(pending); status != 0) return WaitStep::finished(discarded = status);
    return WaitStep::waiting();
  });
  if (discarded != 0) return endLinkStatus(discarded);
  link_.pipeFlush(pipe_, side::kInput);
  link_.pipeFlush(pipe_, side::kOutput);
  recordDelivered();
  return std::nullopt;
}

// The file's data all went and was answered: it counts as sent, and as incomplete when parts were refused.
void Session::recordDelivered() {
  BatchProgress& progress = app_.batch;
  ++progress.filesSent;
  progress.bytesSent += bytesSent_;
  if (partsRefused_ > 0) progress.incomplete.push_back({file_.fileName, partsRefused_, parts_});
}

std::optional<std::int32_t> Session::endBatch() {
  if (!file_.lastFileOfBatch) return std::nullopt;  // the pipe stays connected, the file open
  setStatusText(app_, TextId::Disconnecting);
  refreshStatus(rt_);
  waitOutputSent();
  if (const std::int32_t status = write(kDone); status != 0) return endLinkStatus(status);
  link_.pipeIdle(pipe_);
  if (const std::int32_t status = readReply(kReplyTimeoutMs); status != 0) return endLinkStatus(status);
  pumpFor(rt_, 5000);
  app_.transferPhase = -1;
  link_.pipeDisconnect(pipe_);
  app_.openFile.close();
  return std::nullopt;
}

std::int32_t Session::tailDrain() {
  std::int32_t pending = 0;
  const std::int32_t kept = link_.pipeBytesAvailable(pipe_, side::kInput, &pending);
  if (pending > 0) {
    if (const std::int32_t status = discard(pending); status != 0) return endLinkStatus(status);
    link_.pipeIdle(pipe_);
  }
  return kept;
}

std::int32_t Session::run() {
  app_.bytesTotal = 0;
  app_.transferPhase = 0;
  openTransferStatus(rt_, TextId::InitiatingConnection);

  if (file_.fileOpened) {
    std::int32_t pending = 0;
    link_.pipeBytesAvailable(pipe_, side::kInput, &pending);
    if (pending > 0) {
      discard(pending);  // whatever an earlier exchange left behind; statuses do not matter here
      link_.pipeIdle(pipe_);
    }
    for (auto step : {&Session::sendParameters, &Session::sendTypeToken, &Session::sendLength,
                      &Session::sendHeader, &Session::sendData, &Session::endData}) {
      if (const auto ended = (this->*step)()) return *ended;
    }
  }
  if (const auto ended = endBatch()) return *ended;
  return tailDrain();
}

}  // namespace

std::int32_t runTransferSession(Runtime& rt, FileToSend& file) { return Session(rt, file).run(); }

}  // namespace skiff
