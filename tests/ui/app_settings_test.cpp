#include "ui/app_settings.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

class AppSettingsTest : public ::testing::Test {
protected:
    QString file() const { return dir.filePath(QStringLiteral("Quavel/quavel.ini")); }
    void write(const QByteArray& text) {
        QDir().mkpath(dir.filePath(QStringLiteral("Quavel")));
        QFile out(file());
        ASSERT_TRUE(out.open(QIODevice::WriteOnly));
        out.write(text);
    }
    QTemporaryDir dir;
};

TEST_F(AppSettingsTest, AFreshFileGivesTheDefaults) {
    const AppSettings settings(file());
    EXPECT_EQ(settings.input_device(), QString());
    EXPECT_EQ(settings.output_device(), QString());
    EXPECT_EQ(settings.ptt_method(), AppSettings::PttMethod::Rts);
    EXPECT_EQ(settings.rig_model(), 2);
    EXPECT_EQ(settings.rig_port(), QStringLiteral("localhost:4532"));
    EXPECT_EQ(settings.watchdog_minutes(), 10);
    EXPECT_EQ(settings.receiver(), AppSettings::Receiver::Classic);
    EXPECT_TRUE(settings.squelch());
    EXPECT_FALSE(settings.back_to_receive());
    EXPECT_EQ(settings.transmit_level_db(), 0);
    EXPECT_EQ(settings.pane_font_size(), 0);
    EXPECT_FALSE(settings.identify_on_time());
    EXPECT_EQ(settings.dial_frequency_hz(), 0);
    EXPECT_FALSE(settings.band_window_open());
    EXPECT_EQ(settings.band_age_minutes(), 10);
}

TEST_F(AppSettingsTest, WhatIsSetIsThereAfterARestart) {
    {
        AppSettings settings(file());
        settings.set_output_device(QStringLiteral("rig_sink"));
        settings.set_ptt_method(AppSettings::PttMethod::Cat);
        settings.set_rig_port(QStringLiteral("127.0.0.1:4599"));
        settings.set_watchdog_minutes(0);
        settings.set_receiver(AppSettings::Receiver::Weak);
        settings.set_transmit_level_db(-12);
        settings.set_dial_frequency_hz(10'489'550'000LL);
        settings.set_dial_lower_sideband(true);
        settings.set_band_window_open(true);
        settings.set_band_age_minutes(25);
        ASSERT_TRUE(settings.sync()) << settings.error().toStdString();
    }
    const AppSettings again(file());
    EXPECT_EQ(again.output_device(), QStringLiteral("rig_sink"));
    EXPECT_EQ(again.ptt_method(), AppSettings::PttMethod::Cat);
    EXPECT_EQ(again.rig_port(), QStringLiteral("127.0.0.1:4599"));
    EXPECT_EQ(again.watchdog_minutes(), 0);
    EXPECT_EQ(again.receiver(), AppSettings::Receiver::Weak);
    EXPECT_EQ(again.transmit_level_db(), -12);
    EXPECT_EQ(again.dial_frequency_hz(), 10'489'550'000LL);
    EXPECT_TRUE(again.dial_lower_sideband());
    EXPECT_TRUE(again.band_window_open());
    EXPECT_EQ(again.band_age_minutes(), 25);
}

TEST_F(AppSettingsTest, DamagedOrOutOfRangeEntriesFallBackToTheDefaults) {
    write("[keying]\nmethod=smoke\nwatchdog_minutes=61\nrig_speed=12\n"
          "[transmit]\nlevel_db=+3\nback_to_receive=perhaps\n[receive]\nsquelch=\n"
          "[window]\npane_font_size=2\n\x01\x02garbage without a key\n"
          "[rig]\ndial_frequency_hz=14.07 MHz\ndial_sideband=xsb\n"
          "[band]\nage_minutes=0\nwindow_open=perhaps\n");
    const AppSettings settings(file());
    EXPECT_EQ(settings.ptt_method(), AppSettings::PttMethod::Rts);
    EXPECT_EQ(settings.watchdog_minutes(), 10);
    EXPECT_EQ(settings.rig_speed(), 0);
    EXPECT_EQ(settings.transmit_level_db(), 0);
    EXPECT_FALSE(settings.back_to_receive());
    EXPECT_TRUE(settings.squelch());
    EXPECT_EQ(settings.pane_font_size(), 0);
    EXPECT_EQ(settings.dial_frequency_hz(), 0);
    EXPECT_FALSE(settings.dial_lower_sideband());
    EXPECT_EQ(settings.band_age_minutes(), 10);
    EXPECT_FALSE(settings.band_window_open());
}

TEST_F(AppSettingsTest, TheControlApiIsOnLocallyAndMayNotTransmitUntilAllowed) {
    {
        const AppSettings fresh(file());
        EXPECT_TRUE(fresh.api_enabled());
        EXPECT_EQ(fresh.api_port(), 52001);
        EXPECT_EQ(fresh.api_address(), "127.0.0.1");
        EXPECT_FALSE(fresh.api_allow_transmit());
    }
    write("[api]\nport=70000\naddress=not.an address\nenabled=maybe\n");
    const AppSettings damaged(file());
    EXPECT_EQ(damaged.api_port(), 52001);
    EXPECT_EQ(damaged.api_address(), "127.0.0.1");
    EXPECT_TRUE(damaged.api_enabled());
}

} // namespace

namespace {

TEST_F(AppSettingsTest, SpotSettingsDefaultOffAndRefuseWhatCouldNotWork) {
    {
        const AppSettings fresh(file());
        EXPECT_FALSE(fresh.report_spots());
        EXPECT_EQ(fresh.station_locator(), QString());
        EXPECT_EQ(fresh.spots_host(), QStringLiteral("report.pskreporter.info"));
        EXPECT_EQ(fresh.spots_port(), 4739);
    }
    write("[spots]\nreport=yes\nlocator=XX99zz\nhost=\"  \"\nport=70000\n");
    const AppSettings damaged(file());
    EXPECT_FALSE(damaged.report_spots());
    EXPECT_EQ(damaged.station_locator(), QString());
    EXPECT_EQ(damaged.spots_host(), QStringLiteral("report.pskreporter.info"));
    EXPECT_EQ(damaged.spots_port(), 4739);
}

} // namespace
