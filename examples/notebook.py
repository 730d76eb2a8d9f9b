# %% [markdown]
# # Orvane from Python
# Bladder-wall doses (mGy/MBq) as function calls that return arrays. Run it as a script
# (`PYTHONPATH=build/python /usr/bin/python3 examples/notebook.py`) or cell by cell.
# Plots appear when matplotlib is installed; without it the cells print their numbers.

# %%
import json
import pathlib

import numpy as np

import orvane

try:
    import matplotlib.pyplot as plt
except ImportError:
    plt = None
    print("matplotlib is not installed: printing the numbers only")

HERE = pathlib.Path(__file__).resolve().parent if "__file__" in globals() else pathlib.Path(".")

# %% [markdown]
# ## FDG across the three fill-rate schedules
# `doses[schedule, V0, T0]`; each schedule's curve at V0 = 100 ml against the first-void time.

# %%
fdg = orvane.table("F-18 FDG")
v0 = list(fdg.v0).index(100.0)
for s, (day, night) in enumerate(fdg.rates):
    print(f"{day}/{night} ml/min:", np.array2string(fdg.doses[s, v0], precision=4))
if plt:
    for s, (day, night) in enumerate(fdg.rates):
        plt.plot(fdg.t0, fdg.doses[s, v0], marker="o", label=f"{day}/{night} ml/min")
    plt.xlabel("first void T0 (min)")
    plt.ylabel("bladder-wall dose (mGy/MBq)")
    plt.title("F-18 FDG, V0 = 100 ml")
    plt.legend()
    plt.show()

# %% [markdown]
# ## A population of 200 patients from random voiding diaries
# Each patient voids at random intervals (lognormal around 3 h, geometric sd 1.3) for a day,
# with a fill rate and a residual of their own.

# %%
rng = np.random.default_rng(2026)


def random_patient():
    gaps = rng.lognormal(np.log(180.0), np.log(1.3), size=12)
    times = np.cumsum(gaps)
    times = times[times <= 1440.0]
    return {
        "radiopharmaceutical": {"standard": "F-18 FDG"},
        "initial_volume": float(rng.uniform(20.0, 200.0)),
        "residual_volume": float(rng.lognormal(np.log(9.5), np.log(3.0))),
        "fill_rate": {"day": float(rng.lognormal(np.log(1.0), np.log(1.5)))},
        "voiding": {"pattern": "diary", "voids": [{"at": round(float(t), 1)} for t in times]},
    }


population = np.array([orvane.scenario(random_patient(), time_course=None).dose
                       for _ in range(200)])
print("population dose (mGy/MBq): median %.4f, 5th %.4f, 95th %.4f"
      % tuple(np.percentile(population, [50, 5, 95])))
counts, edges = np.histogram(population, bins=12)
for count, low, high in zip(counts, edges, edges[1:]):
    print(f"{low:.4f}-{high:.4f} {'#' * count}")
if plt:
    plt.hist(population, bins=20)
    plt.xlabel("bladder-wall dose (mGy/MBq)")
    plt.ylabel("patients")
    plt.title("F-18 FDG, 200 random diaries")
    plt.show()

# %% [markdown]
# ## Lu-177 PSMA: how the dose depends on the voiding interval

# %%
psma = json.loads((HERE / "two-hour-voiding-lu177-psma.json").read_text())
intervals = np.arange(60.0, 361.0, 30.0)
interval_doses = np.empty_like(intervals)
for i, interval in enumerate(intervals):
    psma["voiding"].update(first_void=float(interval), interval=float(interval))
    interval_doses[i] = orvane.scenario(psma, time_course=None).dose
for interval, dose in zip(intervals, interval_doses):
    print(f"every {interval:.0f} min: {dose:.4f} mGy/MBq, {dose * 7400 / 1000:.2f} Gy for 7.4 GBq")
if plt:
    plt.plot(intervals, interval_doses, marker="o")
    plt.xlabel("voiding interval (min)")
    plt.ylabel("bladder-wall dose (mGy/MBq)")
    plt.title("Lu-177 PSMA-617")
    plt.show()
