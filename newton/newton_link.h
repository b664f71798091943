// The Newton's side of the MNP link, as newton-sim plays it: it calls with a real Newton's LR until the desktop
// answers, confirms with LA N(R)=0, ignores the first repeat of an LT, and can inject faults on the line.
// Once up it is the NewtonStream the application roles use.
#pragma once

#include <cstdio>
#include <memory>
#include <random>
#include <string>

#include "dil/mnp_endpoint.h"
#include "newton/newton_stream.h"

namespace skiff::newton {

struct Faults {
  double corrupt = 0;          // fraction of LT and LA frames corrupted, each way
  double drop = 0;             // fraction of LT and LA frames lost, each way
  long long dropAfter = -1;    // the line goes dead after this many payload bytes (either way)
  int ackDelayMs = 0;          // every acknowledgement waits this long
  long loseAck = 0;            // the n-th acknowledgement (from 1) is never sent
  int deafToLinkRequests = 0;  // the desktop's first n LRs are not heard
  bool wrongSpeed = false;     // the line runs at another speed than the desktop's: every byte garbled
  unsigned seed = 1;
};

// What a real Newton does that a kind simulator would not (mnp-facts.md section 3a).
struct NewtonHabits {
  long long busyAfter = -1;    // the receiver fills once this many payload bytes arrived: credit 0 ...
  int busyMs = 0;              // ... for this long, then a window-open LA
  int callDelayMs = 0;         // the user taps Connect this long after newton-sim starts
  int callTries = 0;           // LRs sent before giving up (a Newton's limit is 3); 0: until the call time-out
  bool offersCompression = true;  // its LR offers V.42bis (v42bis-facts.md 1); false: its compression option is none
  long long stallAfter = -1;   // once this many payload bytes arrived, the Newton stops answering ...
  int stallMs = 0;             // ... for this long: no LA, no LT, and what comes meanwhile is lost
};

struct NewtonOptions {
  int baud = 0;                // line pacing; 0 = unpaced
  int window = 8;              // offered in the LR
  int retransmitMs = 2000;
  int retryLimit = 11;         // a Newton gives up after 11 retransmissions
  int callIntervalMs = 400;    // the LR goes again after this long without an answer
  int callTimeoutMs = 60000;
  Faults faults;
  NewtonHabits habits;
};

class NewtonLink final : public NewtonStream {
 public:
  NewtonLink(mnp::ByteLine& line, NewtonOptions options, std::FILE* log);

  // Calls the desktop until it answers; false when nobody answered in time.
  bool call();

  bool read(std::span<std::uint8_t> out, int timeoutMs) override;
  long readSome(std::span<std::uint8_t> out, int timeoutMs) override;
  bool write(std::span<const std::uint8_t> message) override;
  bool post(std::span<const std::uint8_t> message) override;
  void disconnect() override;
  bool connected() const override;
  void log(const std::string& line) override;

  // True when the desktop ended the link with an LD.
  bool peerDisconnected() const { return endpoint_.down() == mnp::LinkDown::PeerDisconnected; }
  // Keeps the line serviced (acknowledging, retransmitting) for up to ms, or until the link ends.
  void linger(int ms);

 private:
  void service(int maxWaitMs);
  void stall();
  mnp::Bytes ownLinkRequest() const;
  bool chance(double fraction);
  void corrupt(mnp::Bytes& frame);

  mnp::ByteLine& line_;
  NewtonOptions options_;
  std::FILE* log_;
  mnp::Endpoint endpoint_;
  std::mt19937 random_;
  bool answered_ = false;
  mnp::LinkParams negotiated_;
  long acksSent_ = 0;
  int requestsIgnored_ = 0;
  bool dropped_ = false;
  bool gaveUp_ = false;            // our LR went unanswered too long: a late answer is refused
  enum class BusySpell { Ahead, On, Over } busySpell_ = BusySpell::Ahead;
  bool stalled_ = false;           // the stall has been
  std::int64_t busyUntilUs_ = 0;
  std::int64_t startUs_ = 0;
};

}  // namespace skiff::newton
