#include "platform/devices/audio_stream_identity.h"

#include <gtest/gtest.h>

namespace quavel {
namespace {

TEST(AudioStreamIdentity, PropertiesNameTheProgramAndLeaveTheUsersOwnLast) {
    const AudioStreamIdentity identity{"Quavel", "org.quavel.Quavel", "org.quavel.Quavel"};
    const std::string ours = "application.name='Quavel' application.id='org.quavel.Quavel' "
                             "application.icon_name='org.quavel.Quavel'";
    EXPECT_EQ(audio_stream_properties(identity, nullptr), ours);
    EXPECT_EQ(audio_stream_properties(identity, ""), ours);
    EXPECT_EQ(audio_stream_properties(identity, "media.role=phone"), ours + " media.role=phone");
}

TEST(AudioStreamIdentity, QuotesCannotEndTheValue) {
    const AudioStreamIdentity odd{"Q'u\"a\\vel", "id", "icon"};
    EXPECT_EQ(audio_stream_properties(odd, nullptr).substr(0, 26), "application.name='Quavel' ");
}

} // namespace
} // namespace quavel
