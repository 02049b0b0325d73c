# The realisation-averaged hysteresis loop of each grid point, M against H
# with the standard error of M, from `ebsim sweep --loop-mean`.
#   gnuplot -e "means='loop_mean.csv'; picture='averaged_loop.png'" docs/averaged_loop.gp
if (!exists("means")) means = 'loop_mean.csv'
if (!exists("picture")) picture = 'averaged_loop.png'
set terminal pngcairo size 760,480 font "DejaVu Sans,10"
set output picture
set datafile separator ","
set datafile columnheaders
set title "Realisation-averaged loops"
set xlabel "applied field H [J]"
set ylabel "mean magnetization M"
set grid
set key bottom right
stats means using "point" nooutput
plot for [p=0:int(STATS_max)] means using "H":(column("point") == p ? column("M_mean") : NaN):"M_se" \
     with yerrorlines pt 7 ps 0.4 title sprintf("point %d", p)
