#include "band_tool.h"

#include "platform/wav/wav_file.h"
#include "process.h"
#include "table.h"

namespace quavel::perf {

BandRun run_band_tool_on(const std::string& tool, const std::string& wav_path, BandRange range) {
    BandRun run;
    const ProcessResult p =
        run_process({tool, "rx", "--band", "--json", "--from", fixed(range.from_hz, 1), "--to",
                     fixed(range.to_hz, 1), wav_path});
    run.wall_s = p.wall_seconds;
    run.cpu_s = p.cpu_seconds;
    if (p.exit_code != 0) {
        run.error = "quavel-modem rx --band failed (" + std::to_string(p.exit_code) + "): " + p.err;
        return run;
    }
    run.lines = parse_band_output(p.out, run.bad_lines);
    return run;
}

BandRun run_band_tool(const std::string& tool, std::span<const int16_t> samples,
                      const std::string& wav_path, BandRange range) {
    std::string error;
    if (!write_wav(wav_path, samples, error)) {
        BandRun run;
        run.error = error;
        return run;
    }
    return run_band_tool_on(tool, wav_path, range);
}

} // namespace quavel::perf
