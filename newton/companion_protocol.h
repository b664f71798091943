// The companion application's side of Skiff's token protocol, with no I/O: bytes from the desktop go in,
// replies to send and finished files come out. Shared by newton-sim and the in-memory tests.
//
// What it expects: "PARM" and a parameter (FILETYPE, FILECREATOR, FILENAME) with its value; a type token
// ("SPIT" text, "SPIB" picture, "SBMP" bitmap, "SBPK" package); the 4-byte big-endian length; then for text
// "DATA" blocks (each ended by EOT) up to "NEXT", for the other kinds the announced bytes in chunks of at most
// 500; "DONE" ends the batch. Tokens and values end with one EOT byte.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace skiff::newton {

struct ReceivedFile {
  std::string name;          // the FILENAME value (without its EOT), empty when none was sent
  std::string typeToken;     // "SPIT", "SPIB", "SBMP", "SBPK"
  std::string typeValue;     // the FILETYPE value without its EOT
  std::string creatorValue;  // the FILECREATOR value without its EOT
  std::int32_t announcedLength = 0;
  std::string header;        // text: the first DATA block when it is a note header such as "*TODO*\n"
  std::vector<std::uint8_t> bytes;       // everything accepted: the DATA blocks, or the chunks not refused
  std::vector<std::size_t> chunkSizes;   // every data message as it came, refused ones included
  std::vector<std::string> replies;      // every reply sent for this file, its parameters' included ("-": none)
};

// Faults a test can ask for. Messages count every message that needs a reply, chunks every data message
// (a binary chunk or a DATA block; a text header is one), both over the whole run and from 1.
struct CompanionFaults {
  int refuseChunk = 0;   // answer "NO" to this chunk (its bytes are not kept)
  int wrongReplyAt = 0;  // answer "ok" to this message
  int silentAt = 0;      // send no reply to this message
};

struct CompanionAction {
  enum Kind { Reply, FileDone, BatchDone, ProtocolError } kind;
  std::string reply;               // Reply: the two bytes
  std::optional<ReceivedFile> file;  // FileDone
  std::string error;               // ProtocolError: what was wrong; the parser stops
};

class CompanionProtocol {
 public:
  explicit CompanionProtocol(CompanionFaults faults = {}) : faults_(faults) {}

  // Consumes bytes; returns what to do, in order.
  std::vector<CompanionAction> feed(std::span<const std::uint8_t> bytes);
  bool failed() const { return failed_; }
  bool batchDone() const { return batchDone_; }
  int messages() const { return messages_; }

 private:
  enum class State { Idle, ParamName, ParamValue, Length, BinaryChunk, TextIdle, TextBlock, Failed };
  void step(std::vector<CompanionAction>& out);
  bool takeUntilEot(std::string* field);
  void reply(std::vector<CompanionAction>& out, bool dataChunk, bool* refused = nullptr);
  void finishFile(std::vector<CompanionAction>& out);
  void fail(std::vector<CompanionAction>& out, std::string why);

  CompanionFaults faults_;
  State state_ = State::Idle;
  std::vector<std::uint8_t> pending_;  // bytes not yet consumed
  std::size_t at_ = 0;                 // start of the unconsumed bytes in pending_
  std::string paramName_;
  std::string typeValue_, creatorValue_, name_;
  ReceivedFile file_;
  std::int64_t remaining_ = 0;
  int messages_ = 0;
  int chunks_ = 0;
  bool failed_ = false;
  bool batchDone_ = false;
};

// The companion's log line for one file: name, type token, type and creator values (hex), announced length,
// header, byte count and SHA-256, chunk sizes, replies.
std::string companionLogLine(const ReceivedFile& file);
// Text with every byte outside printable ASCII, the quote and the backslash escaped (\n, \r, \xHH).
std::string escapedText(std::string_view text);

}  // namespace skiff::newton
