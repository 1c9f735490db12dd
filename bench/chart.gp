# Two panels: time beyond the pause, and instructions per run, per contender.
set terminal pngcairo size 1200,440 font ",10" noenhanced
set output out
set multiplot layout 1,2
set style fill solid 0.6 border -1
set boxwidth 0.6
set grid ytics
set logscale y
set offsets 0.6, 0.6, 0, 0
set xtics rotate by -30
set title "Time beyond the 100 ms pause (median, IQR; floors: whole run)"
set ylabel "ms (log scale)"
set yrange [0.1:100]
plot data using 0:2:xtic(1) with boxes notitle lc rgb "#4a7ab0", \
     data using 0:2:3:4 with yerrorbars notitle lc rgb "black" pt 0
set title "Instructions per run, success path (callgrind)"
set ylabel "instructions (log scale)"
set yrange [1000:1e8]
plot data using 0:5:xtic(1) with boxes notitle lc rgb "#b0704a"
unset multiplot
