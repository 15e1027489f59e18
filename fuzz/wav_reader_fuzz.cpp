// Any bytes as a WAV file: read or refused with a message, never more samples than the file
// holds room for.
#include <cstdint>
#include <cstdlib>

#include "fuzz_file.h"
#include "platform/wav/wav_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const quavel::fuzz::ScratchDir dir;
    const quavel::WavData wav = quavel::read_wav(dir.write("in.wav", data, size));
    if (wav.ok() == wav.samples.empty()) std::abort();
    if (wav.samples.size() > size / 2) std::abort();
    return 0;
}
