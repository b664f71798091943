#include <gtest/gtest.h>

#include "dil/serial.h"

namespace skiff::dil {
namespace {

struct ConfigCase {
  const char* text;
  int baud;  // 0: refused
};
class BaudFromConfig : public ::testing::TestWithParam<ConfigCase> {};

TEST_P(BaudFromConfig, TakesTheNumberAfterTheLastColon) {
  auto baud = baudFromConfig(GetParam().text);
  if (GetParam().baud == 0) {
    EXPECT_FALSE(baud) << GetParam().text;
  } else {
    ASSERT_TRUE(baud) << GetParam().text;
    EXPECT_EQ(*baud, GetParam().baud);
  }
}

INSTANTIATE_TEST_SUITE_P(Texts, BaudFromConfig,
                         ::testing::Values(ConfigCase{"COM1:19200,n,8,1", 19200},
                                           ConfigCase{"COM4:38400,n,8,1", 38400},
                                           ConfigCase{"COM2:2400,n,8,1", 2400},
                                           ConfigCase{"/dev/ttyUSB0:9600,n,8,1", 9600},
                                           ConfigCase{"C:/odd:name:57600,n,8,1", 57600},
                                           ConfigCase{"COM1:38400", 38400},
                                           ConfigCase{"", 0}, ConfigCase{"COM1", 0}, ConfigCase{"COM1:", 0},
                                           ConfigCase{"COM1:,n,8,1", 0}, ConfigCase{"COM1:n,8,1", 0},
                                           ConfigCase{"COM1:10,n,8,1", 0},
                                           ConfigCase{"COM1:123456789012345678901234567890,n,8,1", 0}));

TEST(SystemPortName, MapsComPortsAndKeepsPaths) {
  EXPECT_EQ(systemPortName("COM1"), "/dev/ttyS0");
  EXPECT_EQ(systemPortName("COM4"), "/dev/ttyS3");
  EXPECT_EQ(systemPortName("COM10"), "/dev/ttyS9");
  EXPECT_EQ(systemPortName("COMX"), "COMX");
  EXPECT_EQ(systemPortName("COM0"), "COM0");
  EXPECT_EQ(systemPortName("/dev/ttyUSB0"), "/dev/ttyUSB0");
  std::string longPath(1000, 'x');
  EXPECT_EQ(systemPortName(longPath), longPath);
}

}  // namespace
}  // namespace skiff::dil
