// The contact log: what it writes reads back, what other programs write reads too, a record
// cut short loses nothing else, and what is no log file is refused without waiting.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>

#include "station/adif_log.h"
#include "support/temp_dir.h"

namespace {

using quavel::AdifRead;
using quavel::QsoRecord;

QsoRecord contact(const std::string& call, std::time_t start) {
    QsoRecord r;
    r.call = call;
    r.start_utc = start;
    r.end_utc = start + 600;
    r.freq_mhz = 14.0705;
    r.band = "20m";
    r.station_callsign = "G3XYZ";
    r.name = "Jos\xc3\xa9"; // UTF-8, counted in bytes
    r.comment = "first line\nsecond line";
    return r;
}

constexpr std::time_t k20261130 = 1796047200; // 2026-11-30 14:00:00 UTC

std::string field(const AdifRead& read, std::size_t record, const char* name) {
    const std::string* v = read.records.at(record).field(name);
    return v ? *v : "<none>";
}

TEST(AdifLog, AppendedRecordsReadBackWithTheHeader) {
    quavel::test::TempDir dir;
    const std::string path = (dir.path() / "quavel.adi").string();
    ASSERT_EQ(quavel::append_adif_record(path, contact("G4ABC", k20261130), "0.1.0", k20261130),
              "");
    ASSERT_EQ(quavel::append_adif_record(path, contact("DL/K1AB", k20261130 + 3600), "0.1.0",
                                         k20261130 + 3600),
              "");
    EXPECT_EQ(dir.listing(), "quavel.adi"); // no temporary left behind
    const AdifRead read = quavel::read_adif(dir.read("quavel.adi"));
    EXPECT_TRUE(read.notices.empty());
    ASSERT_EQ(read.records.size(), 2u);
    ASSERT_EQ(read.header.size(), 4u);
    EXPECT_EQ(read.header[0].name, "ADIF_VER");
    EXPECT_EQ(read.header[0].value.substr(0, 3), "3.1");
    EXPECT_EQ(read.header[1].value, "Quavel");
    EXPECT_EQ(read.header[2].value, "0.1.0");
    EXPECT_EQ(read.header[3].value, "20261130 140000");
    const std::pair<const char*, const char*> expected[] = {
        {"CALL", "G4ABC"},
        {"QSO_DATE", "20261130"},
        {"TIME_ON", "140000"},
        {"TIME_OFF", "141000"},
        {"QSO_DATE_OFF", "20261130"},
        {"FREQ", "14.0705"},
        {"BAND", "20m"},
        {"MODE", "MFSK"},
        {"SUBMODE", "QUAVEL"},
        {"RST_SENT", "599"},
        {"RST_RCVD", "599"},
        {"STATION_CALLSIGN", "G3XYZ"},
        {"NAME", "Jos\xc3\xa9"},
        {"COMMENT", "first line second line"},
        {"QTH", "<none>"},
    };
    for (const auto& [name, value] : expected)
        EXPECT_EQ(field(read, 0, name), value) << name;
    EXPECT_EQ(field(read, 1, "CALL"), "DL/K1AB");
    EXPECT_EQ(field(read, 1, "TIME_ON"), "150000");
}

// Files the way other loggers write them.
TEST(AdifLog, ReadsWhatOtherProgramsWrite) {
    struct Case {
        const char* what;
        const char* text;
        std::size_t records;
        const char* first_call;
    };
    const Case cases[] = {
        {"no header, lower case, CRLF, eor in lower case",
         "<call:5>G4ABC<qso_date:8>20261130<eor>\r\n<Call:4>K1AB <EoR>\r\n", 2, "G4ABC"},
        {"header with free text and fields we do not know",
         "Exported by a logger <3\r\n<adif_ver:5>3.1.0 <programid:3>XYZ\r\n<eoh>\r\n"
         "<CALL:5>G4ABC <APP_XYZ_SCORE:2>42 <MY_RIG:7>FT-9999 <EOR>\r\n",
         1, "G4ABC"},
        {"type indicators", "<CALL:5:S>G4ABC<FREQ:6:N>14.070<EOR>", 1, "G4ABC"},
        {"a byte-counted UTF-8 value", "<NAME:5>Jos\xc3\xa9<CALL:5>G4ABC<EOR>", 1, "G4ABC"},
        {"a value holding a tag-like text", "<COMMENT:9><EOR> hi!<CALL:5>G4ABC<EOR>", 1, "G4ABC"},
        {"a broken tag and one that is no field", "<CALL:5G4 <CALL:5>G4ABC <X> <EOR>", 1, "G4ABC"},
        {"an empty file", "", 0, nullptr},
        {"a header only", "head\n<EOH>\n", 0, nullptr},
    };
    for (const Case& c : cases) {
        const AdifRead read = quavel::read_adif(c.text);
        EXPECT_TRUE(read.notices.empty()) << c.what;
        ASSERT_EQ(read.records.size(), c.records) << c.what;
        if (c.first_call) {
            EXPECT_EQ(field(read, 0, "CALL"), c.first_call) << c.what;
        }
    }
    const AdifRead typed = quavel::read_adif(cases[2].text);
    EXPECT_EQ(field(typed, 0, "FREQ"), "14.070");
}

// A record cut at any byte by a crash: every earlier record stays, the cut one is skipped with
// a notice, and the next record appended reads whole.
TEST(AdifLog, ARecordCutAtAnyByteLosesNothingElse) {
    quavel::test::TempDir dir;
    const std::string path = (dir.path() / "log.adi").string();
    ASSERT_EQ(quavel::append_adif_record(path, contact("G4ABC", k20261130), "v", k20261130), "");
    const std::string whole = dir.read("log.adi");
    const std::string next = quavel::adif_record(contact("K1AB", k20261130));
    for (std::size_t cut = 1; cut < next.size() - 1; ++cut) {
        dir.write("log.adi", whole + next.substr(0, cut));
        const AdifRead damaged = quavel::read_adif(dir.read("log.adi"));
        ASSERT_EQ(damaged.records.size(), 1u) << cut;
        // Cut inside its first tag, a record has left nothing to tell of.
        const std::size_t told = cut > next.find('>') ? 1u : 0u;
        EXPECT_EQ(damaged.notices.size(), told) << cut;

        ASSERT_EQ(quavel::append_adif_record(path, contact("9A1AA", k20261130), "v", k20261130),
                  "");
        const AdifRead read = quavel::read_adif(dir.read("log.adi"));
        ASSERT_EQ(read.records.size(), 2u) << cut << ": " << dir.read("log.adi");
        EXPECT_EQ(field(read, 0, "CALL"), "G4ABC");
        EXPECT_EQ(field(read, 1, "CALL"), "9A1AA") << cut;
        EXPECT_EQ(field(read, 1, "FREQ"), "14.0705") << cut;
        EXPECT_EQ(read.notices.size(), told) << cut;
    }
}

// Logs other programs left, appended to: the new record reads whole after whatever they end in.
TEST(AdifLog, AppendsAfterWhateverAnotherProgramLeft) {
    const std::pair<const char*, std::size_t> endings[] = {
        {"<CALL:4>K1AB<EOR>", 1},                                 // no line break at the end
        {"Exported by X\n<ADIF_VER:5>3.1.0 ", 0},                 // a header never ended
        {"<CALL:4>K1AB<EOR><CALL:4>W1AW<COMMENT:12><EOR> cu", 1}, // "<EOR>" in a cut value
        {"\r\n\r\n", 0},
    };
    for (const auto& [text, earlier] : endings) {
        quavel::test::TempDir dir;
        dir.write("log.adi", text);
        const std::string path = (dir.path() / "log.adi").string();
        ASSERT_EQ(quavel::append_adif_record(path, contact("G4ABC", k20261130), "v", 0), "");
        const AdifRead read = quavel::read_adif(dir.read("log.adi"));
        ASSERT_EQ(read.records.size(), earlier + 1) << text;
        EXPECT_EQ(field(read, earlier, "CALL"), "G4ABC") << text;
        EXPECT_EQ(read.records[earlier].fields.front().name, "CALL") << text;
    }
}

TEST(AdifLog, WhatIsNoLogFileIsRefusedAndLeftAlone) {
    quavel::test::TempDir dir;
    const std::string fifo = (dir.path() / "fifo.adi").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::filesystem::create_directory(dir.path() / "folder.adi");
    const struct {
        std::string path;
        const char* why;
    } cases[] = {
        {fifo, "FIFO"},
        {(dir.path() / "folder.adi").string(), "directory"},
        {(dir.path() / "missing" / "log.adi").string(), "folder does not exist"},
    };
    for (const auto& c : cases) {
        EXPECT_NE(quavel::adif_log_problem(c.path).find(c.why), std::string::npos) << c.path;
        EXPECT_NE(quavel::append_adif_record(c.path, contact("G4ABC", 0), "v", 0).find(c.why),
                  std::string::npos)
            << c.path;
    }
    EXPECT_EQ(dir.listing(), "fifo.adi folder.adi");
    EXPECT_EQ(quavel::adif_log_problem((dir.path() / "new.adi").string()), "");
}

TEST(AdifLog, BandsByFrequency) {
    const std::pair<double, const char*> bands[] = {
        {1.838, "160m"}, {3.58, "80m"}, {5.357, "60m"}, {7.04, "40m"},    {10.142, "30m"},
        {14.07, "20m"},  {18.1, "17m"}, {21.07, "15m"}, {24.92, "12m"},   {28.12, "10m"},
        {50.3, "6m"},    {70.1, "4m"},  {144.5, "2m"},  {223.0, "1.25m"}, {432.1, "70cm"},
        {14.36, ""},     {0.5, ""},     {1296.0, ""},
    };
    for (const auto& [mhz, band] : bands)
        EXPECT_EQ(quavel::adif_band(mhz), band) << mhz;
}

TEST(AdifLog, WorkedBeforeKeepsTheLatestContactOfTheCallProper) {
    quavel::WorkedIndex index;
    const AdifRead read =
        quavel::read_adif("<CALL:5>G4ABC<QSO_DATE:8>20261130<TIME_ON:4>1400<FREQ:6>14.070<EOR>"
                          "<CALL:7>G4ABC/P<QSO_DATE:8>20250101<TIME_ON:6>090000<FREQ:5>7.040<EOR>"
                          "<CALL:5>K1ABC<QSO_DATE:8>20240101<EOR>");
    for (const auto& r : read.records)
        index.add(r);
    const auto* g4abc = index.find("dl/g4abc");
    ASSERT_NE(g4abc, nullptr);
    EXPECT_EQ(quavel::worked_text(*g4abc), "worked 2026-11-30 14.070 MHz (2 contacts)");
    ASSERT_NE(index.find("K1ABC"), nullptr);
    EXPECT_EQ(quavel::worked_text(*index.find("K1ABC")), "worked 2024-01-01");
    EXPECT_EQ(index.find("9A1AA"), nullptr);
    QsoRecord later = contact("9A1AA", k20261130 + 86400);
    later.freq_mhz = 7.0425;
    index.add(later);
    ASSERT_NE(index.find("9A1AA"), nullptr);
    EXPECT_EQ(quavel::worked_text(*index.find("9A1AA")), "worked 2026-12-01 7.043 MHz");
}

} // namespace
