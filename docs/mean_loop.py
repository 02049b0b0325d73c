# The mean hysteresis loop of 100 realisations, with the spread of M.
# Run from the source folder: PYTHONPATH=build/python /usr/bin/python3 docs/mean_loop.py
import matplotlib
matplotlib.use("Agg")
import matplotlib.pyplot as plt
import numpy as np

import ebsim

runs = [ebsim.run(side=40, sd=1.5, seed_ms=1000 * k) for k in range(100)]
branch, h, _ = runs[0].loop                      # every run steps through the same fields
m = np.array([run.loop[2] for run in runs])
mean, sd = m.mean(axis=0), m.std(axis=0, ddof=1)
shifts = np.array([run.eb_shift for run in runs])

for name, colour in [("down", "tab:blue"), ("up", "tab:red")]:
    on = branch == name
    plt.plot(h[on], mean[on], color=colour, label=f"{name} branch")
    plt.fill_between(h[on], (mean - sd)[on], (mean + sd)[on], color=colour, alpha=0.2)
plt.xlabel("H")
plt.ylabel("M")
plt.title(f"Mean of 100 loops, N = 40, SD = 1.5; E-B shift {shifts.mean():.3f} ± {shifts.std(ddof=1) / 10:.3f}")
plt.legend()
plt.savefig("docs/mean_loop.png", dpi=100)
