# The realisation-averaged hysteresis loop of each grid point, M against H
# with the standard error of M, from `ebsim sweep --loop-mean`. The title
# names the inputs every point shares, each curve the grid values of its
# point; both come from the file's metadata line.
#   gnuplot -e "means='study/loop_mean.csv'; picture='study/averaged_loop.png'" averaged_loop.gp
if (!exists("means")) means = 'loop_mean.csv'
if (!exists("picture")) picture = 'averaged_loop.png'

# One number of the metadata's sweep, and the grid texts of one input as
# gnuplot words ("0" "0.05" ...).
meta(key) = system(sprintf("head -n 1 '%s' | sed -n 's/.*\"%s\":\\([^,}]*\\).*/\\1/p'", means, key))
grid(key) = system(sprintf("head -n 1 '%s' | sed -n 's/.*\"%s\":\\[\\([^]]*\\)\\].*/\\1/p' | tr , ' '", means, key))

# The inputs in the grid's order (the last varies fastest) and how each is named.
keys = "side dilution enhancement field_sd h0 hmin steps"
array named[7] = ["side %s", "dilution %s", "J = %s", "field SD = %s", "H0 = %s", "Hmin = %s", "%s steps"]
array values[7]
shared = ""
do for [k=1:7] {
  values[k] = grid(word(keys, k))
  if (words(values[k]) == 1) { shared = shared . (shared eq "" ? "" : ", ") . sprintf(named[k], word(values[k], 1)) }
}
points = int(meta("points"))
labels = ""
do for [p=0:points-1] {
  rest = p
  label = ""
  do for [k=7:1:-1] {
    n = words(values[k])
    if (n > 1) { label = sprintf(named[k], word(values[k], rest % n + 1)) . (label eq "" ? "" : ", " . label) }
    rest = rest / n
  }
  labels = labels . sprintf(' "%s"', label eq "" ? "mean loop" : label)
}

set terminal pngcairo size 860,480 font "DejaVu Sans,10"
set output picture
set datafile separator ","
set datafile columnheaders
set title sprintf("Realisation-averaged loops, with the standard error of M\n%s; %s realisations per point, seed %s", \
                  shared, meta("realizations"), meta("seed_ms"))
set xlabel "applied field H [J]"
set ylabel "mean spin M"
set grid
set key outside right top
plot for [p=0:points-1] means using "H":(column("point") == p ? column("M_mean") : NaN):"M_se" \
     with yerrorlines pt 7 ps 0.4 title word(labels, p + 1)
