// A small IPFIX reader for the tests of what we send PSK Reporter: it takes a datagram apart
// by the RFC's layout alone (header, sets, template records, data records by the templates
// read), checking every length on the way, so a test sees the bytes as a collector would.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace quavel::test {

struct IpfixField {
    uint16_t id = 0; // without the enterprise bit
    uint16_t length = 0;
    std::optional<uint32_t> enterprise;
};

struct IpfixTemplate {
    uint16_t set_id = 0; // 2 or 3
    uint16_t id = 0;
    uint16_t scope_count = 0;
    std::vector<IpfixField> fields;
};

// A data record's values by field id, strings as read, numbers big-endian.
struct IpfixRecord {
    std::map<uint16_t, std::string> text;
    std::map<uint16_t, uint64_t> number;
};

struct IpfixSet {
    uint16_t id = 0;
    std::size_t length = 0;
    std::size_t padding = 0;
};

struct IpfixMessage {
    uint16_t version = 0;
    uint16_t length = 0;
    uint32_t export_time = 0, sequence = 0, domain = 0;
    std::vector<IpfixSet> sets;
    std::vector<IpfixTemplate> templates;
    std::map<uint16_t, std::vector<IpfixRecord>> records; // by template id
    std::string error;                                    // empty when all was well formed
};

// Fields of variable length are read as strings, the others as numbers. `known`: templates
// sent before, for a datagram that carries none.
inline IpfixMessage read_ipfix(const std::vector<uint8_t>& d,
                               std::map<uint16_t, IpfixTemplate> known = {}) {
    IpfixMessage m;
    auto u16 = [&](std::size_t at) { return static_cast<uint16_t>(d[at] << 8 | d[at + 1]); };
    auto u32 = [&](std::size_t at) { return static_cast<uint32_t>(u16(at)) << 16 | u16(at + 2); };
    if (d.size() < 16) {
        m.error = "short header";
        return m;
    }
    m.version = u16(0);
    m.length = u16(2);
    m.export_time = u32(4);
    m.sequence = u32(8);
    m.domain = u32(12);
    if (m.length != d.size()) m.error = "message length " + std::to_string(m.length);
    std::size_t at = 16;
    while (m.error.empty() && at < d.size()) {
        if (at + 4 > d.size()) {
            m.error = "short set header";
            break;
        }
        IpfixSet set{u16(at), u16(at + 2), 0};
        const std::size_t end = at + set.length;
        if (set.length < 4 || end > d.size()) {
            m.error = "set length " + std::to_string(set.length);
            break;
        }
        std::size_t p = at + 4;
        // A template set holds template records while one still fits; the rest is padding.
        while ((set.id == 2 || set.id == 3) && m.error.empty() && p + 4 <= end && u16(p) != 0) {
            IpfixTemplate t;
            t.set_id = set.id;
            t.id = u16(p);
            const uint16_t count = u16(p + 2);
            p += 4;
            if (set.id == 3) {
                t.scope_count = u16(p);
                p += 2;
            }
            for (uint16_t i = 0; i < count && p + 4 <= end; ++i) {
                IpfixField f;
                const uint16_t raw = u16(p);
                f.id = raw & 0x7FFF;
                f.length = u16(p + 2);
                p += 4;
                if (raw & 0x8000) {
                    f.enterprise = u32(p);
                    p += 4;
                }
                t.fields.push_back(f);
            }
            if (t.fields.size() != count) m.error = "short template";
            known[t.id] = t;
            m.templates.push_back(t);
        }
        if (auto t = known.find(set.id); set.id != 2 && set.id != 3 && t != known.end()) {
            // Records while a whole one still fits; what is left is padding.
            while (true) {
                IpfixRecord r;
                std::size_t q = p;
                bool whole = true;
                for (const IpfixField& f : t->second.fields) {
                    std::size_t n = f.length;
                    if (n == 0xFFFF) {
                        if (q >= end) {
                            whole = false;
                            break;
                        }
                        n = d[q++];
                        if (q + n > end) {
                            whole = false;
                            break;
                        }
                        r.text[f.id] = std::string(d.begin() + static_cast<long>(q),
                                                   d.begin() + static_cast<long>(q + n));
                    } else {
                        if (q + n > end) {
                            whole = false;
                            break;
                        }
                        uint64_t v = 0;
                        for (std::size_t i = 0; i < n; ++i)
                            v = v << 8 | d[q + i];
                        r.number[f.id] = v;
                    }
                    q += n;
                }
                if (!whole || q == p) break;
                // A record of only zero bytes at the end is padding, not data.
                if (r.text.count(t->second.fields.front().id) &&
                    r.text[t->second.fields.front().id].empty() && q + 4 > end)
                    break;
                m.records[set.id].push_back(r);
                p = q;
            }
        }
        set.padding = end - p;
        if (set.id == 2 || set.id == 3 || known.count(set.id)) {
            for (std::size_t i = p; i < end; ++i)
                if (d[i] != 0) m.error = "padding not zero";
        }
        m.sets.push_back(set);
        at = end;
    }
    return m;
}

} // namespace quavel::test
