#include "over.h"

#include <memory>
#include <span>

#include "modem/code_table.h"
#include "modem/speed_profile.h"
#include "modem/synthesis.h"

namespace quavel::perf {

Over make_over(uint32_t speed, double tone5_hz, const std::string& text) {
    auto profile = std::make_unique<SpeedProfile>();
    build_speed_profile(*profile, speed_from_value(speed).value_or(Speed::Two));
    Over over;
    over.speed = speed;
    over.tone5_hz = tone5_hz;
    over.symbol_samples = profile->N;

    std::vector<uint32_t> symbols(kLeadIdleSymbols, kIdleSymbol);
    for (const char c : text) {
        const EncodedCharacter e = encode_character(static_cast<unsigned char>(c));
        if (e.count == 0) continue;
        for (int i = 0; i < e.count; ++i)
            symbols.push_back(e.symbols[static_cast<std::size_t>(i)]);
        over.text += c;
        over.char_end_samples.push_back(symbols.size() * profile->N);
    }
    symbols.insert(symbols.end(), kTailIdleSymbols, kIdleSymbol);

    const std::size_t N = profile->N;
    over.samples.resize(symbols.size() * N);
    for (std::size_t k = 0; k < symbols.size(); ++k) {
        synthesise_symbol(std::span<int16_t>(over.samples).subspan(k * N, N), symbols[k],
                          static_cast<float>(tone5_hz), *profile);
    }
    return over;
}

} // namespace quavel::perf
