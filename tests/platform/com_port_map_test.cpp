#include <gtest/gtest.h>

#include <string>

#include "platform/devices/com_port_map.h"
#include "support/param_name.h"

namespace quavel {
namespace {

struct NameCase {
    const char* port;
    const char* device;
    friend void PrintTo(const NameCase& c, std::ostream* os) { *os << c.port; }
};

class ComPortDefaults : public ::testing::TestWithParam<NameCase> {};

TEST_P(ComPortDefaults, UnmappedNamesGoToTheirUsualDevice) {
    EXPECT_EQ(ComPortMap().device_for(GetParam().port), GetParam().device);
}

#ifdef _WIN32
INSTANTIATE_TEST_SUITE_P(Names, ComPortDefaults,
                         ::testing::Values(NameCase{"COM1", "COM1"}, NameCase{"COM4", "COM4"}),
                         [](const auto& param_info) {
                             return test::name_of_text(param_info.param.port);
                         });
#else
INSTANTIATE_TEST_SUITE_P(
    Names, ComPortDefaults,
    ::testing::Values(NameCase{"COM1", "/dev/ttyS0"}, NameCase{"COM4", "/dev/ttyS3"},
                      NameCase{"COM12", "/dev/ttyS11"}, NameCase{"/dev/ttyUSB0", "/dev/ttyUSB0"},
                      NameCase{"COM0", "COM0"}, NameCase{"COM01", "COM01"}),
    [](const auto& param_info) { return test::name_of_text(param_info.param.port); });
#endif

TEST(ComPortMap, MappingOverridesAndReplaces) {
    ComPortMap map;
    std::string error;
    ASSERT_TRUE(map.add("COM1=/dev/ttyUSB0", error));
    ASSERT_TRUE(map.add("com2=/dev/serial/by-id/rig", error));
    EXPECT_EQ(map.device_for("COM1"), "/dev/ttyUSB0");
    EXPECT_EQ(map.device_for("COM2"), "/dev/serial/by-id/rig");
    ASSERT_TRUE(map.add("COM1=/dev/ttyACM0", error));
    EXPECT_EQ(map.device_for("COM1"), "/dev/ttyACM0");
#ifndef _WIN32
    EXPECT_EQ(map.device_for("COM3"), "/dev/ttyS2");
#endif
}

class ComPortBadEntries : public ::testing::TestWithParam<const char*> {};

TEST_P(ComPortBadEntries, AreRefusedWithAMessageAndChangeNothing) {
    ComPortMap map;
    std::string error;
    EXPECT_FALSE(map.add(GetParam(), error));
    EXPECT_NE(error.find("COMn=DEVICE"), std::string::npos);
    EXPECT_TRUE(map.empty());
}

INSTANTIATE_TEST_SUITE_P(Entries, ComPortBadEntries,
                         ::testing::Values("", "COM1", "COM1=", "=dev", "COM0=/dev/x",
                                           "COM01=/dev/x", "COMx=/dev/x", "COM256=/dev/x",
                                           "LPT1=/dev/x", "COM-1=/dev/x"),
                         [](const auto& param_info) {
                             return test::name_of_text(param_info.param);
                         });

} // namespace
} // namespace quavel
