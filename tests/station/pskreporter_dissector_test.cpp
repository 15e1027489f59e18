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

void put16be(std::vector<uint8_t>& out, uint16_t v) {
    out.push_back(static_cast<uint8_t>(v >> 8));
    out.push_back(static_cast<uint8_t>(v));
}
void put32le(std::vector<uint8_t>& out, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

// A capture file (the classic pcap format, link type raw IPv4) holding `payload` as one UDP
// datagram from 127.0.0.1:50000 to 127.0.0.1:4739.
std::vector<uint8_t> pcap_of(const std::vector<uint8_t>& payload) {
    std::vector<uint8_t> ip;
    const auto udp_length = static_cast<uint16_t>(8 + payload.size());
    const auto total = static_cast<uint16_t>(20 + udp_length);
    for (uint8_t b : {0x45, 0x00})
        ip.push_back(b);
    put16be(ip, total);
    put16be(ip, 0); // identification
    put16be(ip, 0); // flags, fragment
    for (uint8_t b : {64, 17})
        ip.push_back(b); // TTL, UDP
    put16be(ip, 0);      // checksum, not checked by the reader
    for (int i = 0; i < 2; ++i)
        for (uint8_t b : {127, 0, 0, 1})
            ip.push_back(b);
    put16be(ip, 50000);
    put16be(ip, 4739);
    put16be(ip, udp_length);
    put16be(ip, 0); // no UDP checksum
    ip.insert(ip.end(), payload.begin(), payload.end());

    std::vector<uint8_t> file;
    put32le(file, 0xA1B2C3D4);
    put32le(file, 2 | (4u << 16)); // version 2.4
    put32le(file, 0);              // time zone
    put32le(file, 0);              // accuracy
    put32le(file, 65535);          // snap length
    put32le(file, 101);            // raw IP
    put32le(file, 1'700'000'000);
    put32le(file, 0);
    put32le(file, static_cast<uint32_t>(ip.size()));
    put32le(file, static_cast<uint32_t>(ip.size()));
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

TEST(PskReporterDissector, TsharkReadsTheTemplatesAndTheSpot) {
    if (std::system("command -v tshark >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "tshark is not installed";
    quavel::Spot spot;
    spot.callsign = "G4ABC";
    spot.frequency_hz = 14'081'000; // 00 d6 db e8
    spot.time_s = 1'700'000'000;
    const auto datagram = quavel::pskreporter_datagram(
        {1'700'000'000, 0, 1234}, {"G3OWN", "IO91wm", "Quavel 1"}, std::vector{spot}, true);
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
             "PEN: Philip Gladstone (30351)",
             "Type: flowStartSeconds (150)",
             "Type 1: Value (hex bytes): 47 34 41 42 43", // G4ABC
             "Type 5: Value (hex bytes): 00 d6 db e8",
             "Type 10: Value (hex bytes): 51 55 41 56 45 4c", // QUAVEL
             "Type 11: Value (hex bytes): 01",
             "StartTime: Nov 14, 2023 22:13:20",
         })
        EXPECT_NE(text.find(expected), std::string::npos) << expected << "\n" << text;
    // The message length as the dissector read it is the datagram's.
    EXPECT_NE(text.find("    Length: " + std::to_string(datagram.size()) + "\n"), std::string::npos)
        << text;
}

} // namespace
