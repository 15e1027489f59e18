// The datagrams PSK Reporter's collector takes: IPFIX messages (RFC 7011) with its own
// information elements (enterprise 30351). Each datagram carries one receiver record (who
// heard: our callsign, locator and program) and the spots (who was heard: callsign, RF
// frequency, mode, time); the templates describing both go in front when asked for.
//
//   message header   version 10, length, export time, sequence number, observation domain
//   template sets    receiver: options template 0x9992 (scope: receiverCallsign) with
//                    receiverLocator and decoderSoftware; sender: template 0x9993 with
//                    senderCallsign, frequency (4 bytes, Hz), mode, informationSource (1 byte)
//                    and flowStartSeconds (IANA 150, 4 bytes); template 0x9994, the same
//                    with sNR (1 byte, signed dB) after the frequency
//   data sets        0x9992 with the receiver record, 0x9993 with the spots the receiver
//                    gave no SNR for, 0x9994 with those it did
// Strings go as IPFIX variable-length fields (a length byte, up to 254 bytes); each set is
// padded with zeros to a multiple of four bytes. Qt-free.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace quavel {

inline constexpr uint32_t kPskReporterEnterprise = 30351;
inline constexpr uint16_t kReceiverTemplateId = 0x9992;
inline constexpr uint16_t kSenderTemplateId = 0x9993;
inline constexpr uint16_t kSenderSnrTemplateId = 0x9994;
// The mode name our spots carry.
inline constexpr const char* kSpotMode = "QUAVEL";
// informationSource: the call was found in the decoded text by the program.
inline constexpr uint8_t kAutomaticallyExtracted = 1;

struct SpotReceiver {
    std::string callsign; // ours, in capitals
    std::string locator;  // Maidenhead, 4 or 6 characters
    std::string software; // "Quavel 1.2.3"
};

struct Spot {
    std::string callsign;      // the station heard, in capitals
    uint32_t frequency_hz = 0; // its RF frequency
    std::string mode = kSpotMode;
    int64_t time_s = 0;        // when heard, seconds since 1970 UTC
    std::optional<int> snr_db; // in 2500 Hz, when the receiver measured it
};

struct IpfixHeader {
    uint32_t export_time_s = 0;
    uint32_t sequence = 0;  // data records sent before this message in the session
    uint32_t domain_id = 0; // the session's random identifier
};

// The bytes of the template sets, the receiver record and one spot.
std::size_t pskreporter_templates_size();
std::size_t pskreporter_receiver_size(const SpotReceiver& receiver);
std::size_t pskreporter_spot_size(const Spot& spot);
// The datagram's size for these parts (header, sets and their padding).
std::size_t pskreporter_datagram_size(const SpotReceiver& receiver, std::span<const Spot> spots,
                                      bool with_templates);

// One datagram. Strings longer than 254 bytes are cut; a time outside 32 bits becomes 0; an
// SNR beyond a signed byte is held at its end.
std::vector<uint8_t> pskreporter_datagram(const IpfixHeader& header, const SpotReceiver& receiver,
                                          std::span<const Spot> spots, bool with_templates);

// Whether `locator` is a Maidenhead locator of 4 or 6 characters ("JO01", "JO01ab"), either
// case.
bool is_maidenhead_locator(std::string_view locator);

} // namespace quavel
