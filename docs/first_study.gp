# The loop's mean centre (loop_centre, the exchange-bias field) and half
# width (loop_half_width, the coercive field) against the dilution level,
# with standard errors, from the summary of an ebsim sweep. The title comes
# from the summary's metadata line; each centre point is labelled with the
# number of realisations that wrote it (n), which falls where the loop
# never crosses zero on the way up.
#   gnuplot -e "summary='study/dilution_summary.csv'; picture='study/first_study.png'" first_study.gp
if (!exists("summary")) summary = 'summary.csv'
if (!exists("picture")) picture = 'first_study.png'

# One value of the metadata's sweep: the first grid text of an input, or a number.
meta(key) = system(sprintf("head -n 1 '%s' | sed -n 's/.*\"%s\":\\[*\"*\\([^\",]*\\).*/\\1/p'", summary, key))

set terminal pngcairo size 760,480 font "DejaVu Sans,10"
set output picture
set datafile separator ","
set datafile columnheaders
set title sprintf("Exchange bias against dilution (side %s, J = %s, field SD = %s, %s realisations per point, seed %s)", \
                  meta("side"), meta("enhancement"), meta("field_sd"), meta("realizations"), meta("seed_ms"))
set xlabel "dilution (fraction of enhanced sites)"
set ylabel "loop centre (H_{down} + H_{up}) / 2 [J]"
set y2label "loop half width (H_{up} - H_{down}) / 2 [J]"
set ytics nomirror
set y2tics
set key bottom left
set grid
set offsets graph 0.02, graph 0.02, graph 0.05, graph 0.05
plot summary using "dilution":"loop_centre_mean":"loop_centre_se" with yerrorlines lw 2 pt 7 title "loop\\_centre", \
     summary using "dilution":"loop_centre_mean":(sprintf("n=%d", column("loop_centre_n"))) with labels offset 0,1.2 font ",8" notitle, \
     summary using "dilution":"loop_half_width_mean":"loop_half_width_se" axes x1y2 with yerrorlines lw 2 pt 5 title "loop\\_half\\_width"
