#include "newton/companion_protocol.h"

#include <algorithm>

#include "newton/sha256.h"

namespace skiff::newton {

namespace {

constexpr std::uint8_t kEot = 0x04;
constexpr std::size_t kChunkMax = 500;
constexpr std::size_t kTokenMax = 1024;  // tokens and values; a file name is at most 767 bytes
constexpr std::size_t kBlockMax = 4096;  // a DATA block carries at most 500 bytes

bool isTypeToken(const std::string& token) {
  return token == "SPIT" || token == "SPIB" || token == "SBMP" || token == "SBPK";
}

// "*TODO*\n" and its kind: asterisk, upper-case word, asterisk, one line feed.
bool looksLikeHeader(const std::vector<std::uint8_t>& block) {
  if (block.size() < 4 || block.size() > 16) return false;
  if (block.front() != '*' || block[block.size() - 2] != '*' || block.back() != '\n') return false;
  return std::all_of(block.begin() + 1, block.end() - 2, [](std::uint8_t c) { return c >= 'A' && c <= 'Z'; });
}

std::string hexOf(std::string_view bytes) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : bytes) {
    out += kHex[c >> 4];
    out += kHex[c & 15];
  }
  return out;
}

}  // namespace

std::vector<CompanionAction> CompanionProtocol::feed(std::span<const std::uint8_t> bytes) {
  std::vector<CompanionAction> out;
  if (failed_) return out;
  pending_.insert(pending_.end(), bytes.begin(), bytes.end());
  step(out);
  if (at_ > 0 && (at_ == pending_.size() || at_ > 65536)) {
    pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(at_));
    at_ = 0;
  }
  return out;
}

bool CompanionProtocol::takeUntilEot(std::string* field) {
  const auto begin = pending_.begin() + static_cast<std::ptrdiff_t>(at_);
  const auto eot = std::find(begin, pending_.end(), kEot);
  if (eot == pending_.end()) return false;
  field->assign(begin, eot);
  at_ = static_cast<std::size_t>(eot - pending_.begin()) + 1;
  return true;
}

void CompanionProtocol::reply(std::vector<CompanionAction>& out, bool dataChunk, bool* refused) {
  ++messages_;
  if (dataChunk) ++chunks_;
  std::string answer = "OK";
  if (dataChunk && chunks_ == faults_.refuseChunk) answer = "NO";
  if (messages_ == faults_.wrongReplyAt) answer = "ok";
  if (refused != nullptr) *refused = answer == "NO";
  if (messages_ == faults_.silentAt) {
    file_.replies.push_back("-");
    return;
  }
  file_.replies.push_back(answer);
  out.push_back({CompanionAction::Reply, answer, std::nullopt, {}});
}

void CompanionProtocol::finishFile(std::vector<CompanionAction>& out) {
  out.push_back({CompanionAction::FileDone, {}, std::move(file_), {}});
  file_ = {};
  typeValue_.clear();
  creatorValue_.clear();
  name_.clear();
  state_ = State::Idle;
}

void CompanionProtocol::fail(std::vector<CompanionAction>& out, std::string why) {
  failed_ = true;
  state_ = State::Failed;
  out.push_back({CompanionAction::ProtocolError, {}, std::nullopt, std::move(why)});
}

void CompanionProtocol::step(std::vector<CompanionAction>& out) {
  for (;;) {
    const std::size_t available = pending_.size() - at_;
    std::string field;
    switch (state_) {
      case State::Failed:
        return;

      case State::Idle:
      case State::ParamName:
      case State::ParamValue:
      case State::TextIdle: {
        if (!takeUntilEot(&field)) {
          if (available > kTokenMax) fail(out, "no EOT within " + std::to_string(kTokenMax) + " bytes");
          return;
        }
        if (field.size() > kTokenMax) {
          fail(out, "no EOT within " + std::to_string(kTokenMax) + " bytes");
          break;
        }
        if (state_ == State::ParamName && (isTypeToken(field) || field == "DONE")) {
          state_ = State::Idle;  // the desktop heard no answer to its PARM and skipped the parameters
        }
        if (state_ == State::Idle) {
          if (field == "PARM") {
            reply(out, false);
            state_ = State::ParamName;
          } else if (isTypeToken(field)) {
            file_.name = name_;
            file_.typeValue = typeValue_;
            file_.creatorValue = creatorValue_;
            file_.typeToken = field;
            reply(out, false);
            state_ = State::Length;
          } else if (field == "DONE") {
            reply(out, false);
            batchDone_ = true;
            out.push_back({CompanionAction::BatchDone, {}, std::nullopt, {}});
          } else {
            fail(out, "unexpected message \"" + escapedText(field) + "\"");
          }
        } else if (state_ == State::ParamName) {
          if (field != "FILETYPE" && field != "FILECREATOR" && field != "FILENAME") {
            fail(out, "unknown parameter \"" + escapedText(field) + "\"");
            break;
          }
          paramName_ = field;
          reply(out, false);
          state_ = State::ParamValue;
        } else if (state_ == State::ParamValue) {
          (paramName_ == "FILETYPE" ? typeValue_ : paramName_ == "FILECREATOR" ? creatorValue_ : name_) = field;
          reply(out, false);
          state_ = State::Idle;
        } else {  // TextIdle
          if (field == "DATA") {
            state_ = State::TextBlock;
          } else if (field == "NEXT") {
            reply(out, false);
            finishFile(out);
          } else {
            fail(out, "expected DATA or NEXT, got \"" + escapedText(field) + "\"");
          }
        }
        break;
      }

      case State::Length: {
        if (available < 4) return;
        const std::uint8_t* p = pending_.data() + at_;
        at_ += 4;
        file_.announcedLength = static_cast<std::int32_t>((std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) |
                                                          (std::uint32_t{p[2]} << 8) | std::uint32_t{p[3]});
        reply(out, false);
        if (file_.typeToken == "SPIT") {
          state_ = State::TextIdle;
          break;
        }
        remaining_ = std::max<std::int64_t>(file_.announcedLength, 0);
        if (remaining_ == 0) {
          finishFile(out);
        } else {
          state_ = State::BinaryChunk;
        }
        break;
      }

      case State::BinaryChunk: {
        const std::size_t want = static_cast<std::size_t>(std::min<std::int64_t>(remaining_, kChunkMax));
        if (available < want) return;
        const auto begin = pending_.begin() + static_cast<std::ptrdiff_t>(at_);
        at_ += want;
        file_.chunkSizes.push_back(want);
        bool refused = false;
        reply(out, true, &refused);
        if (!refused) file_.bytes.insert(file_.bytes.end(), begin, begin + static_cast<std::ptrdiff_t>(want));
        remaining_ -= static_cast<std::int64_t>(want);
        if (remaining_ == 0) finishFile(out);
        break;
      }

      case State::TextBlock: {
        if (!takeUntilEot(&field)) {
          if (available > kBlockMax) fail(out, "DATA block without EOT");
          return;
        }
        if (field.size() > kBlockMax) {
          fail(out, "DATA block without EOT");
          break;
        }
        std::vector<std::uint8_t> block(field.begin(), field.end());
        if (file_.chunkSizes.empty() && looksLikeHeader(block)) file_.header = field;
        file_.chunkSizes.push_back(block.size());
        bool refused = false;
        reply(out, true, &refused);
        if (!refused) file_.bytes.insert(file_.bytes.end(), block.begin(), block.end());
        state_ = State::TextIdle;
        break;
      }
    }
  }
}

std::string escapedText(std::string_view text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : text) {
    if (c == '\n') {
      out += "\\n";
    } else if (c == '\r') {
      out += "\\r";
    } else if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20 || c >= 0x7F) {
      out += "\\x";
      out += kHex[c >> 4];
      out += kHex[c & 15];
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

std::string companionLogLine(const ReceivedFile& file) {
  std::string chunks;
  for (std::size_t size : file.chunkSizes) chunks += (chunks.empty() ? "" : ",") + std::to_string(size);
  std::string replies;
  for (const auto& r : file.replies) replies += (replies.empty() ? "" : ",") + r;
  return "file name=\"" + escapedText(file.name) + "\" type=" + file.typeToken + " typevalue=" + hexOf(file.typeValue) +
         " creator=" + hexOf(file.creatorValue) + " length=" + std::to_string(file.announcedLength) + " header=\"" +
         escapedText(file.header) + "\" bytes=" + std::to_string(file.bytes.size()) +
         " sha256=" + sha256Hex(file.bytes) + " chunks=" + (chunks.empty() ? "-" : chunks) +
         " replies=" + (replies.empty() ? "-" : replies);
}

}  // namespace skiff::newton
