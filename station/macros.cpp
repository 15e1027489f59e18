#include "station/macros.h"

#include <initializer_list>

namespace quavel {

namespace {

std::string concat(std::initializer_list<std::string_view> parts) {
    std::string out;
    std::size_t length = 0;
    for (const std::string_view p : parts)
        length += p.size();
    out.reserve(length);
    for (const std::string_view p : parts)
        out.append(p);
    return out;
}

} // namespace

std::string cq_text(std::string_view callsign) {
    // The pieces "  CQ CQ CQ CQ CQ DE ", C, C, C, C and " AR PSE KKKKK" joined by single
    // blanks: hence the doubled blanks after "DE" and before "AR".
    const std::string_view c = callsign;
    return concat({"  CQ CQ CQ CQ CQ DE ", " ", c, " ", c, " ", c, " ", c, " ", " AR PSE KKKKK"});
}

std::string qrz_text(std::string_view callsign, QrzForm form) {
    const std::string_view c = callsign;
    const std::string_view gap = form == QrzForm::Activation ? "  " : " ";
    return concat({"  QRZ QRZ QRZ DE ", " ", c, gap, c, " KKK"});
}

std::string exchange_text(ExchangeMacro which, std::string_view other_station,
                          std::string_view callsign) {
    if (other_station.empty()) return {};
    return concat({" ", other_station, " DE ", callsign,
                   which == ExchangeMacro::Macro2 ? " AR PSE KKK" : ""});
}

} // namespace quavel
