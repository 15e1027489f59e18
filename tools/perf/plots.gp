# The plots of docs/PERFORMANCE.md, from the CSV files quavel_sensitivity writes.
#   gnuplot -e "docs='DIR'" tools/perf/plots.gp
if (!exists("docs")) docs = "docs"

set datafile separator ","
set terminal pngcairo size 900,600 font "sans,11"
set logscale y
set format y "10^{%L}"
set yrange [5e-4:1]
set grid xtics ytics mytics
set xlabel "SNR in 2500 Hz (dB)"
set ylabel "Character error rate"
set key outside right top
set style line 1 lc rgb "#1f77b4" lw 2 pt 7 ps 0.8
set style line 2 lc rgb "#2ca02c" lw 2 pt 7 ps 0.8
set style line 3 lc rgb "#ff7f0e" lw 2 pt 7 ps 0.8
set style line 4 lc rgb "#d62728" lw 2 pt 7 ps 0.8
set style line 5 lc rgb "#7f7f7f" lw 2 pt 7 ps 0.8
set arrow 1 from graph 0, first 0.05 to graph 1, first 0.05 nohead dt 3 lc rgb "#555555"
set arrow 2 from graph 0, first 0.01 to graph 1, first 0.01 nohead dt 3 lc rgb "#555555"

cer = docs."/perf_cer.csv"
rows(speed, channel) = sprintf("< awk -F, '$1==%d && $2==\"%s\"' %s", speed, channel, cer)
# A CER of 0 has no place on a log scale: left out.
positive(x) = x > 0 ? x : 1/0
channels = "awgn quiet moderate disturbed"

# Speeds left out of a shorter run are left out here too.
measured(speed) = system(sprintf("awk -F, '$1==%s' %s | wc -l", speed, cer)) + 0 > 0

do for [speed in "1 2 4"] {
    if (!measured(speed)) { continue }
    set output sprintf("%s/perf_cer_speed%s.png", docs, speed)
    set title sprintf("%s Quavel/sec: classic receiver (thin), weak-signal receiver (thick), ideal detector (dashed)", speed)
    plot for [i=1:4] rows(speed+0, word(channels, i)) using 3:(positive($7)) \
             with linespoints ls i title word(channels, i)." classic", \
         for [i=1:4] rows(speed+0, word(channels, i)) using 3:(positive($12)) \
             with linespoints ls i lw 3 pt 5 title word(channels, i)." weak", \
         for [i=1:4] rows(speed+0, word(channels, i)) using 3:(positive($9)) \
             with linespoints ls i dt 2 pt 6 title word(channels, i)." ideal"
}

# Where the receiver loses on AWGN: its tasks taken off one by one.
diagnostics = docs."/perf_diagnostics.csv"
variant(speed, name) = sprintf("< awk -F, '$1==%d && $2==\"%s\"' %s", speed, name, diagnostics)
set terminal pngcairo size 1400,480 font "sans,11"
set output docs."/perf_awgn_losses.png"
set multiplot layout 1,3 title "AWGN: the receiver with its tasks taken off one by one"
set key inside left bottom font "sans,9"
do for [speed in "1 2 4"] {
    if (!measured(speed)) { continue }
    set title sprintf("%s Quavel/sec", speed)
    plot rows(speed+0, "awgn") using 3:(positive($7)) with linespoints ls 4 title "as built", \
         variant(speed+0, "afc_off") using 3:(positive($7)) with linespoints ls 3 title "AFC off", \
         variant(speed+0, "afc_off_known_sync") using 3:(positive($7)) \
             with linespoints ls 2 title "+ sync known", \
         variant(speed+0, "afc_off_known_sync_low_pass") using 3:(positive($7)) \
             with linespoints ls 1 title "+ input low-passed", \
         rows(speed+0, "awgn") using 3:(positive($9)) with linespoints ls 5 dt 2 title "ideal", \
         rows(speed+0, "awgn") using 3:(positive($14)) with linespoints ls 5 dt 3 pt 6 \
             title "limit (level and phase known)"
}
unset multiplot

# The AFC pull-in: copy against the start offset at +10 dB.
afc = docs."/perf_afc.csv"
set terminal pngcairo size 900,500 font "sans,11"
set output docs."/perf_afc.png"
set title "Copy against the signal's offset from the receiver's centre (AWGN +10 dB, AFC on)"
set xlabel "Offset (Hz)"
set ylabel "Character error rate (%)"
set key outside right top font "sans,11"
unset logscale y
set format y "%g"
set yrange [0:100]
unset arrow
set arrow 1 from graph 0, first 5 to graph 1, first 5 nohead dt 3 lc rgb "#555555"
plot for [i=1:3] sprintf("< awk -F, '$1==%s' %s", word("1 2 4", i), afc) \
         using 2:(100 * $7) with linespoints ls i title word("1 2 4", i)." Quavel/sec"

# Copy against the lead-in: where the symbols fall on the receiver's blocks.
lead = docs."/perf_lead.csv"
set output docs."/perf_lead.png"
set terminal pngcairo size 900,500 font "sans,11"
set title "Copy against the start of the symbols within the receiver's blocks (AWGN)"
set xlabel "Lead-in (fraction of a symbol)"
set yrange [0:*]
set xrange [0:1]
unset arrow
snrs(speed) = speed == 1 ? "10 -11" : (speed == 2 ? "10 -9" : "10 -6")
plot for [i=1:3] for [j=1:2] \
        sprintf("< awk -F, '$1==%s && $2==%s' %s", word("1 2 4", i), \
                word(snrs(word("1 2 4", i) + 0), j), lead) \
        using 3:(100 * $6) with linespoints ls i dt j \
        title sprintf("%s Quavel/sec, %s dB", word("1 2 4", i), word(snrs(word("1 2 4", i) + 0), j))
