# One lattice under the two dynamics: its loop at 300 and 3,000 steps, a
# minor loop, and its FORC diagram.
#   PYTHONPATH=build/python /usr/bin/python3 docs/other_dynamics.py FOLDER
# writes FOLDER/other_dynamics.png. The pass loop moves with the step size;
# the stable loop converges as the step shrinks.
import os
import sys

import matplotlib
matplotlib.use("Agg")
import matplotlib.pyplot as plt
import numpy as np

import ebsim

folder = sys.argv[1] if len(sys.argv) > 1 else "."
os.makedirs(folder, exist_ok=True)
LATTICE = dict(side=100, dilution=0.04, enhancement=10, field_sd=1.5, seed_ms=43200000)
H0, HMIN = 4.0, -4.0

figure, axes = plt.subplots(1, 3, figsize=(15, 4.6))
loops, minor, diagram = axes
for dynamics, colour in [("pass", "tab:blue"), ("stable", "tab:red")]:
    for steps, style in [(300, ":"), (3000, "-")]:
        result = ebsim.run(h0=H0, hmin=HMIN, steps=steps, dynamics=dynamics, **LATTICE)
        _, h, m = result.loop
        shift = result.eb_shift
        label = f"{dynamics}, {steps} steps" + (f" (E-B shift {shift:.3f} J)" if shift is not None else "")
        loops.plot(h, m, style, color=colour, label=label, linewidth=1.2)
loops.set(xlabel="applied field H [J]", ylabel="mean spin M", title="The loop of one lattice")
loops.legend(fontsize=8, loc="upper left")

# A minor loop: down to a field inside the major loop, up half way, down
# again (stable dynamics: it closes where it started, return-point memory).
step = 0.02
down = list(np.arange(H0, -1.6 - step / 2, -step))
up = list(np.arange(-1.6 + step, 1.0 + step / 2, step))
again = list(np.arange(1.0 - step, -1.6 - step / 2, -step))
history = [float(round(h, 10)) for h in down + up + again]
for dynamics, colour in [("pass", "tab:blue"), ("stable", "tab:red")]:
    result = ebsim.run(dynamics=dynamics, fields=history, **LATTICE)
    _, h, m = result.loop
    minor.plot(h, m, color=colour, label=dynamics, linewidth=1.2)
minor.set(xlabel="applied field H [J]", ylabel="mean spin M",
          title="A minor loop: 4 → -1.6 → 1 → -1.6")
minor.legend(fontsize=8)

forc = ebsim.forc(np.arange(H0 - 0.08, HMIN - 0.04, -0.08), h0=H0, step=0.08, smoothing=3, dynamics="stable",
                  **LATTICE)
r, h = np.meshgrid(forc.reversal_fields, forc.fields, indexing="ij")
# The diagram's usual axes: coercive field Hc = (H - Hr) / 2, bias field Hb = (H + Hr) / 2.
scale = np.nanmax(np.abs(forc.rho))
shown = diagram.pcolormesh((h - r) / 2, (h + r) / 2, forc.rho, cmap="RdBu_r", vmin=-scale, vmax=scale,
                           shading="nearest")
figure.colorbar(shown, ax=diagram, label="ρ = -½ ∂²M / ∂Hr ∂H")
diagram.set(xlim=(0, (H0 - HMIN) / 2), xlabel="Hc = (H - Hr) / 2 [J]",
            ylabel="Hb = (H + Hr) / 2 [J]",
            title=f"FORC diagram, stable dynamics (SF {forc.smoothing})")
figure.suptitle("Side 100, dilution 0.04, J = 10, field SD = 1.5 J, H0 = -Hmin = 4 J, one lattice (seed_ms 43200000)",
                fontsize=10)
figure.tight_layout()
picture = os.path.join(folder, "other_dynamics.png")
figure.savefig(picture, dpi=90)
print(f"{picture}: {len(forc.reversal_fields)} reversal curves")
