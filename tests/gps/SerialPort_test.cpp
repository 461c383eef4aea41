#include "gps/SerialPort.hpp"

#include "support/CaseName.hpp"

#include <gtest/gtest.h>

#include <optional>
#include <ostream>

namespace orvane::gps {
namespace {

struct ResolveCase {
    const char* name;
    const char* portName;
    std::optional<PortAddress> expected; // nullopt: the name cannot be opened
};
void PrintTo(const ResolveCase& c, std::ostream* os) { *os << c.name; }

const ResolveCase kResolveCases[] = {
    {"bare_name_under_dev", "ttyUSB0", PortAddress{"/dev/ttyUSB0", std::nullopt}},
    {"windows_name_kept_as_typed", "COM9", PortAddress{"/dev/COM9", std::nullopt}},
    {"path_as_is", "/dev/pts/3", PortAddress{"/dev/pts/3", std::nullopt}},
    {"baud_suffix", "ttyACM0:4800", PortAddress{"/dev/ttyACM0", 4800}},
    {"baud_suffix_on_path", "/dev/ttyS0:115200", PortAddress{"/dev/ttyS0", 115200}},
    {"colons_inside_path", "/dev/serial/by-path/pci-0000:00:14.0-usb-0:2:1.0-port0",
     PortAddress{"/dev/serial/by-path/pci-0000:00:14.0-usb-0:2:1.0-port0", std::nullopt}},
    {"unsupported_baud", "ttyUSB0:1234", std::nullopt},
    {"baud_too_large", "ttyUSB0:99999999999", std::nullopt},
    {"empty_name", "", std::nullopt},
    {"only_baud", ":4800", std::nullopt},
};

class ResolvePortNameTest : public ::testing::TestWithParam<ResolveCase> {};

TEST_P(ResolvePortNameTest, NamesTheDevice)
{
    const auto& c = GetParam();
    EXPECT_EQ(ResolvePortName(c.portName), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Names, ResolvePortNameTest, ::testing::ValuesIn(kResolveCases), orvane::test::CaseName{});

} // namespace
} // namespace orvane::gps
