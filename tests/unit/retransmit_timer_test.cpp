// The retransmission timer: what the next wait is after the answers and losses seen so far, at several line
// speeds. Times are beyond the LT's own line time, which the endpoint adds.
#include <gtest/gtest.h>

#include <vector>

#include "dil/retransmit_timer.h"

namespace skiff::mnp {
namespace {

struct TimerCase {
  const char* what;
  int baud;
  std::vector<std::int64_t> answersUs;  // LAs for LTs sent once, in order
  int lossesAfter;                      // then this many expiries in a row
  std::int64_t expectedUs;
};

// The floor at 38400 bit/s with the 8-character gap: an LA and two gaps (27 characters, 7031 us) and 25 ms.
constexpr std::int64_t kFloor38400 = 32'031;

class RetransmitTimerTable : public ::testing::TestWithParam<TimerCase> {};

TEST_P(RetransmitTimerTable, NextTimeout) {
  const TimerCase& c = GetParam();
  RetransmitTimer timer(answerFloorUs(c.baud, 8), 2'000'000);
  for (std::int64_t answer : c.answersUs) timer.answered(answer);
  for (int i = 0; i < c.lossesAfter; ++i) timer.expired();
  EXPECT_EQ(timer.timeoutUs(), c.expectedUs) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Rows, RetransmitTimerTable,
    ::testing::Values(
        TimerCase{"38400, nothing learnt: the floor", 38400, {}, 0, kFloor38400},
        TimerCase{"9600: the LA takes four times as long", 9600, {}, 0, 28'125 + 25'000},
        TimerCase{"230400: little more than the adapter margin", 230400, {}, 0, 1'171 + 25'000},
        TimerCase{"a quick answer never goes below the floor", 38400, {5'000}, 0, kFloor38400},
        TimerCase{"one slow answer: itself and four times half of it", 38400, {100'000}, 0, 300'000},
        TimerCase{"a steady answer narrows the spread", 38400, {100'000, 100'000}, 0, 100'000 + 4 * 37'500},
        TimerCase{"a late answer widens it", 38400, {100'000, 300'000}, 0, 125'000 + 4 * 87'500},
        TimerCase{"an answer beyond 2 s is held at the ceiling", 38400, {5'000'000}, 0, 2'000'000},
        TimerCase{"one loss doubles", 38400, {}, 1, 2 * kFloor38400},
        TimerCase{"three losses: eight times", 38400, {}, 3, 8 * kFloor38400},
        TimerCase{"many losses stop at 2 s", 38400, {}, 7, 2'000'000},
        TimerCase{"losses after learning double what was learnt", 38400, {100'000}, 2, 1'200'000}));

}  // namespace
}  // namespace skiff::mnp
