// Any bytes as a contact log: reading never fails, and a record appended after them reads back
// whole, with every record the bytes held before it unchanged (whatever they end in: a record
// cut short, a tag cut in half, a header never ended).
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "fuzz_file.h"
#include "station/adif_log.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const quavel::fuzz::ScratchDir dir;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const quavel::AdifRead before = quavel::read_adif(bytes);
    const std::string path = dir.write("log.adi", data, size);
    quavel::QsoRecord record;
    record.call = "G4ABC";
    record.freq_mhz = 14.0705;
    record.band = "20m";
    if (!quavel::append_adif_record(path, record, "fuzz", 0).empty()) std::abort();
    std::string after_text;
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) std::abort();
    char buffer[4096];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, f)) > 0;)
        after_text.append(buffer, n);
    std::fclose(f);
    const quavel::AdifRead after = quavel::read_adif(after_text);
    if (after.records.size() != before.records.size() + 1) std::abort();
    for (size_t i = 0; i < before.records.size(); ++i) {
        const auto& a = before.records[i].fields;
        const auto& b = after.records[i].fields;
        if (a.size() != b.size()) std::abort();
        for (size_t j = 0; j < a.size(); ++j)
            if (a[j].name != b[j].name || a[j].value != b[j].value) std::abort();
    }
    const quavel::AdifRecord& last = after.records.back();
    const std::string* call = last.field("CALL");
    const std::string* freq = last.field("FREQ");
    if (call == nullptr || *call != "G4ABC" || freq == nullptr || *freq != "14.0705") std::abort();
    if (last.fields.front().name != "CALL") std::abort();
    return 0;
}
