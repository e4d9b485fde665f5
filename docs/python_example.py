"""A measured antenna from file to matching network, as a notebook would go about it.

Run from the repository with the module built (./test.sh):
    PYTHONPATH=build/python python3 docs/python_example.py [--no-plot]
"""

import pathlib
import sys

import numpy as np

import veltrane

here = pathlib.Path(__file__).resolve().parent
examples = here.parent / "examples"

# 1. The measurement: a one-port Touchstone file (scikit-rf's Network would do as well).
data = veltrane.read_touchstone(examples / "antenna.s1p")
print(f"{len(data.f)} samples, {data.f[0] / 1e9:g} to {data.f[-1] / 1e9:g} GHz, z0 {data.z0[0]:g} ohm")

# 2. The lumped model that follows it best from 2.2 to 2.7 GHz, RL searched, then refined.
fit = veltrane.best_fit(data, fmin=2.2, fmax=2.7, refine=True)
best = fit.best
print(f"best pair {best.f1_ghz:g} / {best.f2_ghz:g} GHz, {best.topology}, RL {best.rl_ohm:.4g} ohm, "
      f"largest |dGamma| {best.max:.4f}")
refined = fit.refined
print(f"refined: Ls {refined.ls_nh:.4g} nH, Cs {refined.cs_pf:.4g} pF, Lp {refined.lp_nh:.4g} nH, "
      f"Cp {refined.cp_pf:.4g} pF, RL {refined.rl_ohm:.4g} ohm, largest |dGamma| {refined.max:.4f}")
for warning in fit.warnings:
    print("warning:", warning)

# 3. The calculator on the best pair's points, as the window would show it.
z = data.z_port(1)
i1, i2 = (int(np.argmin(abs(data.f - f * 1e9))) for f in (best.f1_ghz, best.f2_ghz))
result = veltrane.calculate(best.f1_ghz, z[i1], best.f2_ghz, z[i2], best.rl_ohm,
                            f1_crossover=best.f1_crossover, f2_crossover=best.f2_crossover,
                            topology=best.topology)
print("calculator:", ", ".join(repr(q) for q in result.quantities.values()))

# 4. Matching ladders over 2.4 to 2.5 GHz: the Bode-Fano bound of the tightest section fitted to
#    the data (the model's among them), E24 parts of finite Q, no series capacitor (a DC path
#    for the bias), and the yield at 5 % tolerance with its 95 % interval.
matched = veltrane.match(data, band=(2.4, 2.5), n=3, model=result, e_series="E24",
                         inductor_q=(60, 2.45), capacitor_q=(300, 2.45), dc_path=True,
                         yield_=(5, 500), seed=7)
bound = matched.bound
print(f"Bode-Fano bound ({bound.section.kind} section, fit {bound.section.fit_max:.3g}): "
      f"|Gamma| >= {bound.gamma:.3g}, gain <= {bound.gain_db:.3g} dB{', beaten' if bound.beaten else ''}")
print(f"objective {matched.objective}, {matched.constraints}")
for network in matched.networks + [matched.standard]:
    print(network)
y = matched.yield_
print(f"yield: {100 * y.share:.1f} % (95 % interval {100 * y.share_95[0]:.1f} to {100 * y.share_95[1]:.1f} %) "
      f"of {y.runs} runs ({y.distribution}, seed {y.seed}) reach {y.target_rl_db:.2f} dB")

# 5. The chosen network as a scikit-rf two-port, and the plot of the load and the matched input.
gamma = matched.chosen.cascade_with(z)
rl_db = -20 * np.log10(np.abs(gamma))
band = (data.f >= 2.4e9) & (data.f <= 2.5e9)
print(f"matched worst return loss in the band: {rl_db[band].min():.2f} dB")
try:
    print("scikit-rf two-port:", matched.chosen.to_skrf())
except ImportError:
    pass

if "--no-plot" not in sys.argv:
    try:
        import matplotlib.pyplot as plt
    except ImportError:
        plt = None
    if plt is not None:
        plt.plot(data.f / 1e9, -20 * np.log10(np.abs(data.s[:, 0, 0])), label="antenna")
        plt.plot(data.f / 1e9, rl_db, label="matched")
        plt.axvspan(2.4, 2.5, alpha=0.2)
        plt.xlabel("GHz")
        plt.ylabel("return loss, dB")
        plt.legend()
        plt.show()
