// The texts the stations send.
#pragma once

#include <cstdint>
#include <string>

namespace quavel::perf {

// An over of the usual length, 142 characters, with every kind of character the code has: the
// one the sensitivity measurement's short over is.
inline constexpr const char* kOverText =
    "CQ CQ DE G4ABC G4ABC K. R R TNX FOR CALL, OM. UR RST 579 579 = NAME PETER, QTH LONDON "
    "(IO91). RIG 100 W, ANT DIPOLE AT 12 M. WX 15 C, RAIN. BK";

// A second, longer over for a strong neighbour: it covers the other's whole over.
inline constexpr const char* kNeighbourText =
    "QRZ? DE DL1XYZ DL1XYZ. GM ES TNX FER RPRT 599 599. NAME HANS, QTH MUNICH (JN58). PWR 400 W "
    "TO YAGI AT 20 M, WX SUNNY 22 C. QSL VIA BURO OK? 73 ES GUD DX. BK";

// A short call of about 75 characters from station `n`: more than one line of 60.
std::string call_text(uint32_t n);

} // namespace quavel::perf
