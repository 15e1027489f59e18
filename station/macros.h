// The ready-made texts the macro buttons insert into the transmit pane: the CQ call, the QRZ
// call, and the two exchange macros that put the other station's callsign before the station's
// own. Each is returned whole; the window inserts it at the transmit pane's caret.
#pragma once

#include <string>
#include <string_view>

namespace quavel {

// The QRZ call has two forms that differ only in the gap between the two callsigns: two blanks
// in the one built at start-up, one blank in the one built when the setup panel is confirmed.
enum class QrzForm { Activation, Setup };

// "  CQ CQ CQ CQ CQ DE  C C C C  AR PSE KKKKK": 38 + 4 x (callsign length) characters.
std::string cq_text(std::string_view callsign);
// "  QRZ QRZ QRZ DE  C  C KKK" (24 + 2L) or "  QRZ QRZ QRZ DE  C C KKK" (23 + 2L).
std::string qrz_text(std::string_view callsign, QrzForm form);

// The CQ and QRZ texts as last built. Both stay empty (their buttons insert nothing) until a
// configuration has been read at start-up or confirmed on the setup panel.
struct MacroTexts {
    std::string cq;
    std::string qrz;

    void build(std::string_view callsign, QrzForm form) {
        qrz = qrz_text(callsign, form);
        cq = cq_text(callsign);
    }
};

enum class ExchangeMacro { Macro1, Macro2 };

// " <other> DE <callsign>", and for Macro2 " AR PSE KKK" after it. `other_station` is the
// other-station field's whole text, taken as it stands (line breaks included). An empty field
// gives the empty text: the macro does nothing.
std::string exchange_text(ExchangeMacro which, std::string_view other_station,
                          std::string_view callsign);

} // namespace quavel
