// What Wireshark's IPFIX dissector (tshark) makes of our datagram, as a second opinion beside
// the test's own reader: the datagram is written into a capture file by hand (raw IPv4, UDP
// to port 4739, the IPFIX port) and read back with `tshark -V`. Skipped where tshark is not
// installed (tools/build.sh test installs it).
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "station/pskreporter_packet.h"
#include "support/temp_dir.h"

namespace {

// A capture file (the classic pcap format, link type raw IPv4) holding `payload` as one UDP
// datagram from 127.0.0.1:50000 to 127.0.0.1:4739; the reader checks no checksum.
std::vector<uint8_t> pcap_of(const std::vector<uint8_t>& payload) {
    std::vector<uint8_t> ip;
    auto be16 = [&](std::size_t v) {
        ip.push_back(static_cast<uint8_t>(v >> 8));
        ip.push_back(static_cast<uint8_t>(v));
    };
    be16(0x4500);
    be16(28 + payload.size());
    for (uint16_t w : {0, 0, 0x4011, 0, 0x7F00, 0x0001, 0x7F00, 0x0001, 50000, 4739})
        be16(w);
    be16(8 + payload.size());
    be16(0);
    ip.insert(ip.end(), payload.begin(), payload.end());
    std::vector<uint8_t> file;
    const auto size = static_cast<uint32_t>(ip.size());
    for (uint32_t v :
         {0xA1B2C3D4u, 2u | 4u << 16, 0u, 0u, 65535u, 101u, 1'700'000'000u, 0u, size, size})
        for (int i = 0; i < 4; ++i)
            file.push_back(static_cast<uint8_t>(v >> (8 * i)));
    file.insert(file.end(), ip.begin(), ip.end());
    return file;
}

std::string run(const std::string& command) {
    std::string out;
    if (FILE* pipe = ::popen(command.c_str(), "r")) {
        std::array<char, 4096> buffer{};
        while (std::fgets(buffer.data(), buffer.size(), pipe) != nullptr)
            out += buffer.data();
        ::pclose(pipe);
    }
    return out;
}

TEST(PskReporterDissector, TsharkReadsTheTemplatesAndTheSpots) {
    if (std::system("command -v tshark >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "tshark is not installed";
    quavel::Spot spot;
    spot.callsign = "G4ABC";
    spot.frequency_hz = 14'081'000; // 00 d6 db e8
    spot.time_s = 1'700'000'000;
    quavel::Spot measured = spot;
    measured.callsign = "K1XYZ";
    measured.snr_db = -7; // f9
    const auto datagram =
        quavel::pskreporter_datagram({1'700'000'000, 0, 1234}, {"G3OWN", "IO91wm", "Quavel 1"},
                                     std::vector{spot, measured}, true);
    quavel::test::TempDir dir;
    const std::string file = (dir.path() / "spot.pcap").string();
    {
        const auto bytes = pcap_of(datagram);
        std::ofstream out(file, std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()),
                  static_cast<std::streamsize>(bytes.size()));
    }
    const std::string text = run("tshark -n -r '" + file + "' -V 2>&1");
    for (const char* expected : {
             "Version: 10",
             "Observation Domain Id: 1234",
             "Options Template (Id = 39314) (Scope Count = 1; Data Count = 2)",
             "Template (Id = 39315, Count = 5)",
             "Template (Id = 39316, Count = 6)",
             "PEN: Philip Gladstone (30351)",
             "Type: flowStartSeconds (150)",
             "Type 1: Value (hex bytes): 47 34 41 42 43", // G4ABC
             "Type 5: Value (hex bytes): 00 d6 db e8",
             "Type 10: Value (hex bytes): 51 55 41 56 45 4c", // QUAVEL
             "Type 11: Value (hex bytes): 01",
             "Type 1: Value (hex bytes): 4b 31 58 59 5a", // K1XYZ
             "Type 34: Value (hex bytes): f9",
             "StartTime: Nov 14, 2023 22:13:20",
         })
        EXPECT_NE(text.find(expected), std::string::npos) << expected << "\n" << text;
    // The message length as the dissector read it is the datagram's.
    EXPECT_NE(text.find("    Length: " + std::to_string(datagram.size()) + "\n"), std::string::npos)
        << text;
}

} // namespace
