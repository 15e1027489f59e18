#include "platform/devices/audio_device_list.h"
#include "support/param_name.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace quavel {
namespace {

// Two interfaces of one model share a name; only their ids tell them apart.
const std::vector<AudioDeviceInfo> kDevices = {
    {"alsa_output.pci-0000_00_1f.3.analog-stereo", "Built-in Audio Analog Stereo", true},
    {"alsa_output.usb-Rig_A-00.analog-mono", "USB Audio CODEC", false},
    {"alsa_output.usb-Rig_B-00.analog-mono", "USB Audio CODEC", false},
    {"rig_sink", "Rig Interface", false},
    {"Rig Interface", "Loopback", false},
};

struct MatchCase {
    const char* wanted;
    const char* id; // the device chosen; null when refused
    const char* error;
};

class AudioDeviceMatching : public testing::TestWithParam<MatchCase> {};

TEST_P(AudioDeviceMatching, ChoosesByIdThenNameThenUniquePart) {
    const MatchCase& c = GetParam();
    const AudioDeviceMatch m = find_audio_device(kDevices, c.wanted, AudioDirection::Output);
    if (c.id == nullptr) {
        EXPECT_EQ(m.device, nullptr);
        EXPECT_EQ(m.error, c.error);
    } else {
        ASSERT_NE(m.device, nullptr) << m.error;
        EXPECT_EQ(m.device->id, c.id);
        EXPECT_TRUE(m.error.empty());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Names, AudioDeviceMatching,
    testing::Values(MatchCase{"alsa_output.usb-Rig_B-00.analog-mono",
                              "alsa_output.usb-Rig_B-00.analog-mono", nullptr},
                    // An id wins over another device's name.
                    MatchCase{"Rig Interface", "Rig Interface", nullptr},
                    MatchCase{"Loopback", "Rig Interface", nullptr},
                    MatchCase{"built-in", "alsa_output.pci-0000_00_1f.3.analog-stereo", nullptr},
                    MatchCase{"INTERFACE", "rig_sink", nullptr},
                    MatchCase{"USB Audio CODEC", nullptr,
                              "'USB Audio CODEC' matches 2 audio output devices; give one's id"},
                    MatchCase{"a", nullptr, "'a' matches 5 audio output devices; give one's id"},
                    MatchCase{"speaker", nullptr, "no audio output device matches 'speaker'"},
                    MatchCase{"", nullptr, "no audio output device was named"}),
    [](const auto& param_info) { return test::name_of_text(param_info.param.wanted); });

TEST(AudioDeviceList, DescribesOneDeviceALineWithTheDefaultMarked) {
    const std::vector<AudioDeviceInfo> devices = {{"mic", "Remapped Monitor", false},
                                                  {"usb_codec", "USB Audio CODEC", true}};
    EXPECT_EQ(describe_audio_devices(devices), "  mic        Remapped Monitor\n"
                                               "* usb_codec  USB Audio CODEC\n");
    EXPECT_EQ(describe_audio_devices({}), "  (none)\n");
}

} // namespace
} // namespace quavel
