# The avalanche-size distribution of the adiabatic loop at three disorders,
# log-log: the avalanches of four realisations at side 200 (dilution 0, so
# the plain random-field model), binned in powers of two and each bin's
# count divided by its width.
#   PYTHONPATH=build/python /usr/bin/python3 docs/avalanche_sizes.py FOLDER
# writes FOLDER/avalanche_sizes.png.
import os
import sys

import matplotlib
matplotlib.use("Agg")
import matplotlib.pyplot as plt
import numpy as np

import ebsim

folder = sys.argv[1] if len(sys.argv) > 1 else "."
os.makedirs(folder, exist_ok=True)
REALIZATIONS = 4
figure, axes = plt.subplots(1, 2, figsize=(11, 4.4), sharey=True)
for field_sd, colour in [(1.6, "tab:blue"), (2.4, "tab:green"), (3.2, "tab:red")]:
    sizes = {0: [], 1: []}
    for r in range(REALIZATIONS):
        result = ebsim.run(side=200, dilution=0, field_sd=field_sd, h0=6, hmin=-6, dynamics="stable",
                           adiabatic=True, seed_ms=(7 + 53398447 * r) % 86400000)
        for branch in (0, 1):
            sizes[branch].append(result.avalanches["size"][result.avalanches["branch"] == branch])
    for branch, axis in zip((0, 1), axes):
        s = np.concatenate(sizes[branch])
        bins = 2 ** np.arange(0, int(np.log2(s.max())) + 2)
        counts, edges = np.histogram(s, bins=bins)
        width = np.diff(edges)
        on = counts > 0
        axis.loglog(edges[:-1][on], counts[on] / width[on] / REALIZATIONS, "o-", color=colour,
                    label=f"field_sd {field_sd} J", markersize=4)
for axis, title in zip(axes, ("descending branch", "ascending branch")):
    axis.set(xlabel="avalanche size (spins reversed)", title=title)
    axis.grid(True, which="major", alpha=0.3)
axes[0].set_ylabel("avalanches per unit size, per loop")
axes[0].legend()
figure.suptitle("Adiabatic loop of the random-field model, side 200: avalanche sizes")
figure.tight_layout()
figure.savefig(os.path.join(folder, "avalanche_sizes.png"), dpi=90)
