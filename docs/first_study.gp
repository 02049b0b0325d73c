# Mean exchange-bias shift and coercivity against the dilution level, with
# standard errors, from the summary of an ebsim sweep.
#   gnuplot -e "summary='summary.csv'; picture='first_study.png'" docs/first_study.gp
if (!exists("summary")) summary = 'summary.csv'
if (!exists("picture")) picture = 'first_study.png'

set terminal pngcairo size 760,480 font "DejaVu Sans,10"
set output picture
set datafile separator ","
set datafile columnheaders
set title "Exchange bias against dilution (side 20, J = 10, SD = 2, 100 realisations each)"
set xlabel "Dilution Level"
set ylabel "E-B Shift"
set y2label "Coercivity"
set ytics nomirror
set y2tics
set key top center
set grid
plot summary using "dilution":"E-B Shift mean":"E-B Shift se" with yerrorlines lw 2 pt 7 title "E-B Shift", \
     summary using "dilution":"Coercivity mean":"Coercivity se" axes x1y2 with yerrorlines lw 2 pt 5 title "Coercivity"
