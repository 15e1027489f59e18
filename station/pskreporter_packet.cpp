#include "station/pskreporter_packet.h"

#include <algorithm>

namespace quavel {

namespace {

constexpr std::size_t kHeaderBytes = 16;
constexpr std::size_t kSetHeaderBytes = 4;
constexpr uint16_t kTemplateSet = 2;
constexpr uint16_t kOptionsTemplateSet = 3;
constexpr uint16_t kVariableLength = 0xFFFF;
constexpr uint16_t kEnterpriseBit = 0x8000;
constexpr std::size_t kLongestString = 254;

// Our information elements.
constexpr uint16_t kSenderCallsign = 1;
constexpr uint16_t kReceiverCallsign = 2;
constexpr uint16_t kReceiverLocator = 4;
constexpr uint16_t kFrequency = 5;
constexpr uint16_t kDecoderSoftware = 8;
constexpr uint16_t kMode = 10;
constexpr uint16_t kInformationSource = 11;
constexpr uint16_t kSnr = 34;
constexpr uint16_t kFlowStartSeconds = 150; // IANA's, no enterprise

struct Field {
    uint16_t id;
    uint16_t length;
    bool enterprise;
};
constexpr Field kReceiverFields[] = {{kReceiverCallsign, kVariableLength, true},
                                     {kReceiverLocator, kVariableLength, true},
                                     {kDecoderSoftware, kVariableLength, true}};
constexpr Field kSenderFields[] = {{kSenderCallsign, kVariableLength, true},
                                   {kFrequency, 4, true},
                                   {kMode, kVariableLength, true},
                                   {kInformationSource, 1, true},
                                   {kFlowStartSeconds, 4, false}};
constexpr Field kSenderSnrFields[] = {{kSenderCallsign, kVariableLength, true},
                                      {kFrequency, 4, true},
                                      {kSnr, 1, true},
                                      {kMode, kVariableLength, true},
                                      {kInformationSource, 1, true},
                                      {kFlowStartSeconds, 4, false}};

std::size_t padded(std::size_t n) {
    return (n + 3) / 4 * 4;
}
std::size_t string_size(const std::string& s) {
    return 1 + std::min(s.size(), kLongestString);
}
std::size_t fields_size(std::span<const Field> fields) {
    std::size_t n = 0;
    for (const Field& f : fields)
        n += f.enterprise ? 8 : 4;
    return n;
}

class Writer {
public:
    explicit Writer(std::vector<uint8_t>& out) : out_(out) {}
    void u8(uint8_t v) { out_.push_back(v); }
    void u16(uint16_t v) {
        u8(static_cast<uint8_t>(v >> 8));
        u8(static_cast<uint8_t>(v));
    }
    void u32(uint32_t v) {
        u16(static_cast<uint16_t>(v >> 16));
        u16(static_cast<uint16_t>(v));
    }
    void text(const std::string& s) {
        const std::size_t n = std::min(s.size(), kLongestString);
        u8(static_cast<uint8_t>(n));
        out_.insert(out_.end(), s.begin(), s.begin() + static_cast<std::ptrdiff_t>(n));
    }
    // A template record: its id, its field count and the fields.
    void template_record(uint16_t id, std::span<const Field> fields) {
        u16(id);
        u16(static_cast<uint16_t>(fields.size()));
        this->fields(fields);
    }
    void fields(std::span<const Field> fields) {
        for (const Field& f : fields) {
            u16(f.enterprise ? static_cast<uint16_t>(f.id | kEnterpriseBit) : f.id);
            u16(f.length);
            if (f.enterprise) u32(kPskReporterEnterprise);
        }
    }
    // A set begins: its header with the length filled in by end_set().
    void begin_set(uint16_t id) {
        start_ = out_.size();
        u16(id);
        u16(0);
    }
    void end_set() {
        while ((out_.size() - start_) % 4 != 0)
            u8(0);
        const std::size_t length = out_.size() - start_;
        out_[start_ + 2] = static_cast<uint8_t>(length >> 8);
        out_[start_ + 3] = static_cast<uint8_t>(length);
    }

private:
    std::vector<uint8_t>& out_;
    std::size_t start_ = 0;
};

uint32_t seconds32(int64_t s) {
    return s >= 0 && s <= 0xFFFFFFFFLL ? static_cast<uint32_t>(s) : 0;
}

uint8_t snr_byte(int db) {
    return static_cast<uint8_t>(static_cast<int8_t>(std::clamp(db, -128, 127)));
}

// The bytes of the records of the spots with (or without) an SNR.
std::size_t records_size(std::span<const Spot> spots, bool with_snr) {
    std::size_t n = 0;
    for (const Spot& s : spots)
        if (s.snr_db.has_value() == with_snr) n += pskreporter_spot_size(s);
    return n;
}

} // namespace

std::size_t pskreporter_templates_size() {
    // Options template: id, field count, scope count; the two templates in one set: id, field
    // count each.
    return padded(kSetHeaderBytes + 6 + fields_size(kReceiverFields)) +
           padded(kSetHeaderBytes + 4 + fields_size(kSenderFields) + 4 +
                  fields_size(kSenderSnrFields));
}

std::size_t pskreporter_receiver_size(const SpotReceiver& receiver) {
    return string_size(receiver.callsign) + string_size(receiver.locator) +
           string_size(receiver.software);
}

std::size_t pskreporter_spot_size(const Spot& spot) {
    return string_size(spot.callsign) + 4 + (spot.snr_db ? 1 : 0) + string_size(spot.mode) + 1 + 4;
}

std::size_t pskreporter_datagram_size(const SpotReceiver& receiver, std::span<const Spot> spots,
                                      bool with_templates) {
    std::size_t n = kHeaderBytes + padded(kSetHeaderBytes + pskreporter_receiver_size(receiver));
    if (with_templates) n += pskreporter_templates_size();
    for (const bool with_snr : {false, true})
        if (const std::size_t records = records_size(spots, with_snr); records > 0)
            n += padded(kSetHeaderBytes + records);
    return n;
}

std::vector<uint8_t> pskreporter_datagram(const IpfixHeader& header, const SpotReceiver& receiver,
                                          std::span<const Spot> spots, bool with_templates) {
    std::vector<uint8_t> out;
    out.reserve(pskreporter_datagram_size(receiver, spots, with_templates));
    Writer w(out);
    w.u16(10);
    w.u16(0); // the length, below
    w.u32(header.export_time_s);
    w.u32(header.sequence);
    w.u32(header.domain_id);
    if (with_templates) {
        w.begin_set(kOptionsTemplateSet);
        w.u16(kReceiverTemplateId);
        w.u16(static_cast<uint16_t>(std::size(kReceiverFields)));
        w.u16(1); // scope: the receiver's callsign
        w.fields(kReceiverFields);
        w.end_set();
        w.begin_set(kTemplateSet);
        w.template_record(kSenderTemplateId, kSenderFields);
        w.template_record(kSenderSnrTemplateId, kSenderSnrFields);
        w.end_set();
    }
    w.begin_set(kReceiverTemplateId);
    w.text(receiver.callsign);
    w.text(receiver.locator);
    w.text(receiver.software);
    w.end_set();
    for (const bool with_snr : {false, true}) {
        if (records_size(spots, with_snr) == 0) continue;
        w.begin_set(with_snr ? kSenderSnrTemplateId : kSenderTemplateId);
        for (const Spot& s : spots) {
            if (s.snr_db.has_value() != with_snr) continue;
            w.text(s.callsign);
            w.u32(s.frequency_hz);
            if (s.snr_db) w.u8(snr_byte(*s.snr_db));
            w.text(s.mode);
            w.u8(kAutomaticallyExtracted);
            w.u32(seconds32(s.time_s));
        }
        w.end_set();
    }
    out[2] = static_cast<uint8_t>(out.size() >> 8);
    out[3] = static_cast<uint8_t>(out.size());
    return out;
}

bool is_maidenhead_locator(std::string_view locator) {
    if (locator.size() != 4 && locator.size() != 6) return false;
    auto in = [](char c, char low, char high) {
        const char upper = c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
        return upper >= low && upper <= high;
    };
    if (!in(locator[0], 'A', 'R') || !in(locator[1], 'A', 'R')) return false;
    if (!in(locator[2], '0', '9') || !in(locator[3], '0', '9')) return false;
    return locator.size() == 4 || (in(locator[4], 'A', 'X') && in(locator[5], 'A', 'X'));
}

} // namespace quavel
