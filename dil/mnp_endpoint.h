// One end of an MNP link over a byte line: frame I/O with the gap after every frame, the handshake frames handed
// to the owner, and the data phase (LT and LA, sequence numbers, window, retransmission, duplicates, LD).
// Both the desktop's pipe and the simulated Newton use it; they differ only in Policy and in their handshake.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>

#include "dil/byte_line.h"
#include "dil/mnp_codec.h"
#include "dil/retransmit_timer.h"
#include "dil/v42bis.h"

namespace skiff::mnp {

struct Policy {
  int baud = 38400;             // for the gap after each frame and timer lengths
  int gapChars = 8;             // quiet line after each frame, in character times (a Newton hangs without it)
  int retransmitMs = 2000;      // the longest an unacknowledged LT waits, beyond its own time on the wire
  int retransmitFloorMs = -1;   // the shortest; -1: what the peer could answer in at this speed
  int retryLimit = 8;           // retransmissions of one LT before the link counts as dead (with no patience)
  // When above 0: the link counts as dead once LTs have waited this long without an acknowledgement (the timer
  // backs off to its ceiling and keeps asking), however many tries that took; the retry limit does not apply.
  int patienceMs = 0;
  bool ignoreFirstDuplicate = false;  // a Newton drops the first repeat of an LT without an acknowledgement
  int ackDelayMs = 0;           // hold every acknowledgement this long (fault injection)
  std::size_t inputLimit = 1 << 20;   // received and unread bytes kept at most; further LTs are not acknowledged
  int busyLimitMs = 60000;      // a peer that gives credit 0 this long without a break, while we wait to send, is lost
};

// BadData: the peer's compressed stream could not be decoded.
enum class LinkDown { None, PeerDisconnected, RetryLimit, LineFailed, LocalDisconnect, PeerBusy, BadData };

// What came in on the line: bytes, and the frames they made (good or broken). Bytes that keep coming without a
// good frame usually mean the two ends run at different speeds.
struct LineStats {
  std::uint64_t bytes = 0;
  std::uint64_t frames = 0;
  std::uint64_t badFrames = 0;
};

class Endpoint {
 public:
  Endpoint(ByteLine& line, Policy policy);

  // --- frames ---
  // Sends a body now (handshake frames, LD), after the gap that follows the previous frame.
  void sendBody(const Bytes& body);
  // While not in the data phase every good frame goes here; it returns true when it took the frame, false to
  // let the data phase (started from inside the call) have it.
  std::function<bool(const Parsed& frame, const Bytes& body)> onHandshakeFrame;
  // Fault injection and logging. txFilter may change or clear an encoded frame (cleared: not sent).
  std::function<void(Bytes& frame, const Bytes& body)> txFilter;
  enum class RxVerdict { Keep, Drop, Corrupt };
  std::function<RxVerdict(const DecodeEvent& event)> rxFilter;
  std::function<void(const std::string& line)> log;

  // --- service ---
  // Reads what the line has, handles the frames and timers, sends what may go. Waits up to maxWaitMs (less
  // when a timer is due) when nothing happened.
  void service(int maxWaitMs);
  // Whether the last service pass read, sent or learned anything.
  bool progressed() const { return progressed_; }
  // Stops all traffic without a word, as a pulled cable does.
  void mute() { muted_ = true; }
  // Our receiver is full (the Newton's role): LAs carry credit 0 and new LTs are dropped, each answered with the
  // last good N(R). Clearing it sends the window-open LA (same N(R), credit above 0) without being asked.
  void setBusy(bool busy);
  bool busy() const { return busy_; }
  // Whether the peer's last LA gave credit 0.
  bool peerBusy() const { return peerBusy_; }

  // --- data phase ---
  // With V.42bis agreed, LT info is compressed as the LTs are formed and decompressed as they are delivered;
  // every count below stays in application bytes.
  void startDataPhase(const LinkParams& negotiated);
  bool compressing() const { return compressor_.has_value(); }
  bool dataPhase() const { return dataPhase_; }
  LinkDown down() const { return down_; }
  // Ends the link: LD sent (user reason), nothing more goes out or is taken in.
  void disconnect(std::uint8_t reason = kReasonUser);

  void queue(std::span<const std::uint8_t> bytes, bool endOfMessage);
  void pushOut();  // ends the current LT with what is queued
  std::uint64_t queuedTotal() const { return queuedOffset_; }
  std::uint64_t ackedTotal() const { return ackedOffset_; }
  std::size_t unacknowledged() const { return static_cast<std::size_t>(queuedOffset_ - ackedOffset_); }
  std::size_t unsent() const { return outQueue_.size(); }
  // Whether LTs are on the line waiting for the peer's LA (a wait on the port then ends when it comes).
  bool awaitingAck() const { return cursor_ > 0; }
  // Whether bytes are queued that wait for more data or a push before they form an LT.
  bool partialPending() const;

  std::size_t available() const { return inQueue_.size(); }
  std::uint64_t receivedTotal() const { return inOffset_; }
  // Moves up to out.size() received bytes; *endOfMessage tells whether the last one ended an LT.
  std::size_t take(std::span<std::uint8_t> out, bool* endOfMessage);
  void discardInput();

  // LTs that went on the line again, and all LTs that went (repeats included).
  std::uint64_t retransmissions() const { return retransmissions_; }
  std::uint64_t transmissions() const { return transmissions_; }
  const LineStats& lineStats() const { return lineStats_; }
  int window() const { return window_; }

 private:
  struct Sent {
    std::uint8_t sequence;
    Bytes body;
    Bytes frame;
    std::uint64_t endOffset;
    std::int64_t sentUs = -1;  // when it last went on the line; -1: not yet
    bool resent = false;       // it went more than once: its LA times neither copy
    std::uint64_t transmission = 0;  // the number of its last transmission
    // The earliest of its transmissions the peer may have taken: its first, or the first after a go-back on a
    // repeated N(R) (the peer lacked an earlier LT, so it dropped every copy sent before); 0: its next one.
    std::uint64_t takeableFrom = 0;
  };
  bool nextPlainInfo(Bytes& info, std::uint64_t& endOffset);
  bool nextCompressedInfo(Bytes& info, std::uint64_t& endOffset);
  bool deliver(std::span<const std::uint8_t> info);
  void servicePass(int maxWaitMs);
  void readLine();
  void handle(const DecodeEvent& event);
  void handleData(const Parsed& frame);
  void onAck(std::uint8_t receivedUpTo, std::uint8_t credit);
  std::size_t sendLimit() const;
  bool wantsToSend() const { return !outstanding_.empty() || !outQueue_.empty() || !packed_.empty(); }
  void queueAck();
  void fillWindow();
  std::optional<std::uint64_t> answeredTransmission(std::optional<std::uint64_t> noEarlierThan);
  void retransmitAll(const char* why);
  void checkTimer();
  bool mayWrite();
  void writeFrame(Bytes frame, const Bytes& body);
  void fail(LinkDown why);
  std::int64_t wireUs(std::size_t bytes) const;
  std::int64_t timerUs() const;
  void logFrame(const char* direction, const Bytes& body);

  ByteLine& line_;
  Policy policy_;
  Decoder decoder_;
  bool muted_ = false;
  bool dataPhase_ = false;
  LinkDown down_ = LinkDown::None;
  std::int64_t nextSendUs_ = 0;     // the gap: no frame starts before this
  bool awaitingDrain_ = false;      // a frame was written; the gap starts once it has left
  std::int64_t drainByUs_ = 0;      // when it must have left even if the port keeps saying otherwise
  bool progressed_ = false;         // something happened in this service pass
  LineStats lineStats_;

  // sending
  int window_ = 1;
  std::size_t infoLimit_ = kMaxInfo;
  std::deque<std::uint8_t> outQueue_;
  std::deque<std::uint64_t> boundaries_;  // stream offsets at which an LT must end
  std::uint64_t queuedOffset_ = 0, sentOffset_ = 0, ackedOffset_ = 0;
  std::deque<Sent> outstanding_;
  std::uint8_t nextSequence_ = 1;
  std::size_t cursor_ = 0;         // outstanding frames already on the line in this round
  std::int64_t timerStartUs_ = 0;
  RetransmitTimer timer_;
  std::int64_t servicedUntilUs_ = 0;  // when the last service pass ended
  bool promptPass_ = false;           // this pass follows the last closely
  int retries_ = 0;
  std::int64_t unansweredSinceUs_ = 0;  // the first timer expiry since the last progress: when that round began
  std::uint64_t retransmissions_ = 0, transmissions_ = 0;
  // An LT on the line whose answer (an LA) may still come.
  struct Awaited {
    std::uint64_t transmission;
    std::int64_t dueUs;  // an answer that a read after this did not bring was lost
  };
  std::deque<Awaited> awaited_;         // oldest first
  std::int64_t lastReadUs_ = 0, previousReadUs_ = 0;  // when this pass and the one before read the line
  // compression: the encoder runs once per LT formed; packed_ holds its output not yet in an LT
  std::optional<v42bis::Encoder> compressor_;
  std::optional<v42bis::Decoder> decompressor_;
  Bytes packed_, unpacked_;
  bool packedEndsMessage_ = false;  // packed_ ends with a flush: it goes without waiting for more
  std::uint64_t flushedOffset_ = 0, lastEndOffset_ = 0;
  // the peer's flow control
  std::size_t peerCredit_ = 1;      // LTs beyond its last N(R) it said it can take
  bool peerBusy_ = false;           // its last LA gave credit 0
  std::int64_t peerBusySinceUs_ = 0;
  bool probe_ = false;              // the timer ran out while the peer is busy: one LT may go to ask again

  // receiving
  std::uint8_t lastReceived_ = 0;
  int duplicatesInARow_ = 0;
  std::deque<std::uint8_t> inQueue_;
  std::uint64_t inOffset_ = 0, readOffset_ = 0;
  std::deque<std::uint64_t> inBoundaries_;
  bool ackDue_ = false;
  std::int64_t ackDueUs_ = 0;
  bool busy_ = false;
};

}  // namespace skiff::mnp
