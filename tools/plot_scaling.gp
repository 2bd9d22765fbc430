# Cycles per call against haystack length, log-log. Expects `table`,
# `output` and `machine` to be set on the command line.
set terminal pngcairo size 1000,680 enhanced font "DejaVu Sans,11"
set output output
set title "Cost of finding a needle at the end of the haystack\n{/*0.8 ".machine."}"
set xlabel "haystack length (bytes)"
set ylabel "cycles per call (time-stamp counter ticks; lower is better)"
set logscale xy 2
set xrange [11:95000]
set xtics ("16" 16, "64" 64, "256" 256, "1 KiB" 1024, "4 KiB" 4096, "16 KiB" 16384, "64 KiB" 65536)
set mxtics 2
set format y "%.0s%c"
set ytics 4
set grid xtics mxtics ytics lc rgb "#e0e0e0"
set key top left reverse Left box opaque spacing 1.2
set datafile missing "?"
set style data linespoints
plot table using 1:3 title "finstr (byte scan)" lw 2 pt 7 lc rgb "#c0392b", \
     table using 1:4 title "Wordsweep (word scan)" lw 2 pt 5 lc rgb "#2471a3", \
     table using 1:2 title "strstr (C library)" lw 2 pt 9 lc rgb "#229954", \
     table using 1:5 title "memchr of the first byte (a bound)" lw 1.5 dt 2 pt 1 lc rgb "#7d3c98", \
     table using 1:6 title "strlen (a bound)" lw 1.5 dt 3 pt 2 lc rgb "#616a6b"
