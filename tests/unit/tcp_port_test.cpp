// A tcp: port: the address it names, and what a caller's first bytes say it is.
#include <gtest/gtest.h>

#include <string>

#include "dil/caller_opening.h"
#include "dil/tcp_address.h"

namespace skiff::dil {
namespace {

struct AddressCase {
  const char* label;
  std::string text;
  std::string host;  // empty: refused
  int port;
  const char* why;  // the start of the reason when refused
};

class TcpPortText : public ::testing::TestWithParam<AddressCase> {};

TEST_P(TcpPortText, NamesTheAddressOrSaysWhatIsWrong) {
  const AddressCase& c = GetParam();
  std::string why;
  const auto address = parseTcpPort(c.text, &why);
  if (c.host.empty()) {
    EXPECT_FALSE(address);
    EXPECT_EQ(why.rfind(c.why, 0), 0u) << why;
    return;
  }
  ASSERT_TRUE(address) << why;
  EXPECT_EQ(address->host, c.host);
  EXPECT_EQ(address->port, c.port);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, TcpPortText,
    ::testing::Values(
        AddressCase{"PortAloneIsLoopback", "tcp:3679", "127.0.0.1", 3679, ""},
        AddressCase{"EveryInterface", "tcp:0.0.0.0:3679", "0.0.0.0", 3679, ""},
        AddressCase{"AHostName", "tcp:localhost:0", "localhost", 0, ""},
        AddressCase{"IPv6InBrackets", "tcp:[::1]:3679", "::1", 3679, ""},
        AddressCase{"HighestPort", "tcp:65535", "127.0.0.1", 65535, ""},
        AddressCase{"NoPort", "tcp:", "", 0, "the port is a number"},
        AddressCase{"PortBeyondTheLast", "tcp:65536", "", 0, "the port is a number"},
        AddressCase{"PortNotANumber", "tcp:dock", "", 0, "the port is a number"},
        AddressCase{"EmptyHost", "tcp::3679", "", 0, "the host before the port is empty"},
        AddressCase{"IPv6WithoutBrackets", "tcp:::1:3679", "", 0, "an IPv6 address goes in brackets"},
        AddressCase{"SpaceInTheHost", "tcp:my host:3679", "", 0, "the host is not"},
        AddressCase{"ThousandCharacterHost", "tcp:" + std::string(1000, 'h') + ":3679", "", 0, "the host name is too long"},
        AddressCase{"ASerialDevice", "/dev/ttyUSB0", "", 0, "not a tcp: port"}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(TcpPortText, WritesTheAddressBack) {
  EXPECT_EQ(addressText({"127.0.0.1", 3679}), "127.0.0.1:3679");
  EXPECT_EQ(addressText({"::1", 3679}), "[::1]:3679");
  EXPECT_TRUE(isTcpPort("tcp:3679"));
  EXPECT_FALSE(isTcpPort("TCP3679"));
  EXPECT_FALSE(isTcpPort("COM1"));
}

struct OpeningCase {
  const char* label;
  std::string bytes;
  Opening opening;
};

class FirstBytes : public ::testing::TestWithParam<OpeningCase> {};

TEST_P(FirstBytes, SayWhatTheCallerIs) {
  const std::string& bytes = GetParam().bytes;
  EXPECT_EQ(classifyOpening({reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()}),
            GetParam().opening);
}

INSTANTIATE_TEST_SUITE_P(
    Openings, FirstBytes,
    ::testing::Values(
        OpeningCase{"Nothing", "", Opening::NeedMore},
        // MNP: an LR frame starts 16 10 02
        OpeningCase{"MnpStartAlone", "\x16\x10\x02", Opening::Mnp},
        OpeningCase{"MnpLinkRequest", std::string("\x16\x10\x02\x17\x01\x02\x01\x06", 8), Opening::Mnp},
        OpeningCase{"MnpTooShort", "\x16\x10", Opening::NeedMore},
        OpeningCase{"SynAlone", "\x16", Opening::NeedMore},
        OpeningCase{"SynThenNotDle", "\x16\x16\x10\x02", Opening::Garbage},
        OpeningCase{"DleStxWithoutSyn", "\x10\x02", Opening::Garbage},
        // raw dock frames start "newtdock"
        OpeningCase{"DockSignature", "newtdock", Opening::Dock},
        OpeningCase{"DockOpeningFrame", std::string("newtdockrtdk\0\0\0\x04", 16), Opening::Dock},
        OpeningCase{"DockTooShort", "newtdoc", Opening::NeedMore},
        OpeningCase{"DockMisspelt", "newtDock", Opening::Garbage},
        OpeningCase{"SomethingElse", "GET / HTTP/1.0\r\n", Opening::Garbage},
        OpeningCase{"ZeroByte", std::string(1, '\0'), Opening::Garbage}),
    [](const auto& info) { return std::string(info.param.label); });

}  // namespace
}  // namespace skiff::dil
