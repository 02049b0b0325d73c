# The mean hysteresis loop of 100 realisations, with the spread of M.
#   PYTHONPATH=build/python /usr/bin/python3 docs/mean_loop.py study/mean_loop.png
# The band is one sample standard deviation of M across the realisations,
# either side of the mean; the loop centre (H_EB) is given as mean ± standard error
# of the mean, over the runs that wrote it.
import sys

import matplotlib
matplotlib.use("Agg")
import matplotlib.pyplot as plt
import numpy as np

import ebsim

picture = sys.argv[1] if len(sys.argv) > 1 else "mean_loop.png"
runs = [ebsim.run(side=40, dilution=0.04, enhancement=10, field_sd=1.5, seed_ms=1000 * k) for k in range(100)]
branch, h, _ = runs[0].loop                      # every run steps through the same fields
m = np.array([run.loop[2] for run in runs])
mean, sd = m.mean(axis=0), m.std(axis=0, ddof=1)
# A run whose M never changes sign on the way up leaves loop_centre blank (None).
shifts = np.array([run.loop_centre for run in runs if run.loop_centre is not None])
blank = len(runs) - len(shifts)

for name, colour in [("down", "tab:blue"), ("up", "tab:red")]:
    on = branch == name
    plt.plot(h[on], mean[on], color=colour, label=f"{name} branch, mean")
    plt.fill_between(h[on], (mean - sd)[on], (mean + sd)[on], color=colour, alpha=0.2,
                     label=f"{name} branch, ±1 sample SD")
plt.xlabel("applied field H [J]")
plt.ylabel("mean spin M")
if len(shifts) > 1:
    shift = f"loop centre {shifts.mean():.3f} ± {shifts.std(ddof=1) / np.sqrt(len(shifts)):.3f} J (± standard error)"
else:
    shift = "loop centre: too few runs wrote it"
plt.title(f"Mean of {len(runs)} loops: side 40, dilution 0.04, J = 10, field SD = 1.5 J\n"
          f"{shift}; {blank} of {len(runs)} runs left it blank",
          fontsize=10)
plt.legend(loc="lower right", fontsize=8)
plt.savefig(picture, dpi=100)
print(f"{picture}: {len(runs)} runs, loop_centre blank in {blank}")
