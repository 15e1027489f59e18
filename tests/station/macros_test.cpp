#include <gtest/gtest.h>

#include <string>

#include "station/macros.h"

namespace quavel {
namespace {

TEST(Macros, NocallTexts) {
    const std::string cq = cq_text("NOCALL");
    EXPECT_EQ(cq, "  CQ CQ CQ CQ CQ DE  NOCALL NOCALL NOCALL NOCALL  AR PSE KKKKK");
    EXPECT_EQ(cq.size(), 62u);
    const std::string qrz_start = qrz_text("NOCALL", QrzForm::Activation);
    EXPECT_EQ(qrz_start, "  QRZ QRZ QRZ DE  NOCALL  NOCALL KKK");
    EXPECT_EQ(qrz_start.size(), 36u);
    const std::string qrz_setup = qrz_text("NOCALL", QrzForm::Setup);
    EXPECT_EQ(qrz_setup, "  QRZ QRZ QRZ DE  NOCALL NOCALL KKK");
    EXPECT_EQ(qrz_setup.size(), 35u);
}

// The QRZ text once overflowed its buffer from 8 characters of callsign on: every length the
// configuration holds must come out whole.
TEST(Macros, WholeForEveryCallsignLength) {
    for (std::size_t length = 0; length <= 14; ++length) {
        const std::string call(length, 'K');
        const std::string cq = cq_text(call);
        const std::string a = qrz_text(call, QrzForm::Activation);
        const std::string s = qrz_text(call, QrzForm::Setup);
        EXPECT_EQ(cq.size(), 38 + 4 * length);
        EXPECT_EQ(a.size(), 24 + 2 * length);
        EXPECT_EQ(s.size(), 23 + 2 * length);
        EXPECT_EQ(a.substr(a.size() - 4), " KKK");
        EXPECT_EQ(cq.substr(cq.size() - 14), "  AR PSE KKKKK");
    }
    EXPECT_EQ(qrz_text("ABCDEFGHIJKLMN", QrzForm::Setup),
              "  QRZ QRZ QRZ DE  ABCDEFGHIJKLMN ABCDEFGHIJKLMN KKK");
}

TEST(Macros, TextsStayEmptyUntilBuilt) {
    MacroTexts m;
    EXPECT_TRUE(m.cq.empty());
    EXPECT_TRUE(m.qrz.empty());
    m.build("G4ABC", QrzForm::Activation);
    EXPECT_EQ(m.qrz, "  QRZ QRZ QRZ DE  G4ABC  G4ABC KKK");
    EXPECT_EQ(m.cq, cq_text("G4ABC"));
    m.build("G4ABC", QrzForm::Setup);
    EXPECT_EQ(m.qrz, "  QRZ QRZ QRZ DE  G4ABC G4ABC KKK");
}

TEST(Macros, ExchangeTexts) {
    EXPECT_EQ(exchange_text(ExchangeMacro::Macro1, "ABC", "NOCALL"), " ABC DE NOCALL");
    EXPECT_EQ(exchange_text(ExchangeMacro::Macro2, "ABC", "NOCALL"), " ABC DE NOCALL AR PSE KKK");
    // An empty other-station field does nothing.
    EXPECT_EQ(exchange_text(ExchangeMacro::Macro1, "", "NOCALL"), "");
    EXPECT_EQ(exchange_text(ExchangeMacro::Macro2, "", "NOCALL"), "");
    // The field goes in as it stands, line breaks included; no configuration means no callsign.
    EXPECT_EQ(exchange_text(ExchangeMacro::Macro1, "ABC\r\n", ""), " ABC\r\n DE ");
}

} // namespace
} // namespace quavel
