"""Checks of the zonally symmetric aqua-planet (tests/run/zonal_symmetry.sh).

    aqua.py symmetry WORK
        For each prognostic field of the restart set in WORK/data (both stored
        time levels of u, v, T, S and the tracer C, and the surface pressure
        "p0" of "rerun.nc"): the largest spread over longitude at any row and
        level, divided by the field's range over the grid. One line per field;
        the last line is the largest ratio alone.

    aqua.py adjustment WORK STEPS
        Geostrophic adjustment of the interior to the meridional pressure
        gradient, STEPS steps after a start from rest. Below the reach of the
        wind and of mixing each level obeys du/dt = f v, dv/dt = -f u - dP/dy
        (the model's reference density is 1 g/cm3), and the depth-uniform part
        is set by the surface treatment; so the shear of u + iv against level
        30 is (u_g(k) - u_g(30)) (1 - exp(-i f t)), u_g = -(dP/dy) / f, with P
        the hydrostatic pressure of the restart set ("pp") and f t the
        scheme's angle. Checked at levels 12..28 (330 m to 2.3 km) and rows
        15 to 50 degrees from the equator, where the gradient of the
        climatology is strong: the error is at most 0.25 of the thermal-wind
        shear u_g(k) - u_g(30) (measured 0.10 after 24 steps and 0.11 after
        48: the leapfrog's start from rest and the time filter's damping of
        the inertial part). Without the pressure gradient there is no shear,
        an error of |1 - exp(-i f t)|, up to 2.
"""
import sys

import numpy as np

import model_grid as g

FIELDS = ["u1", "u2", "v1", "v2", "t1", "t2", "s1", "s2", "c1", "c2"]
ADJUST_TOL = 0.25
REF_LEVEL = 30
LEVELS = range(12, 29)


def symmetry(work):
    data = f"{work}/data"
    fields = [(f, g.field(data, f)) for f in FIELDS] + [("p0", g.read(f"{data}/rerun.nc", "p0"))]
    worst = 0.0
    for name, x in fields:
        if not np.all(np.isfinite(x)):
            print(f"{name}: not finite")
            worst = float("inf")
            continue
        rng = x.max() - x.min()
        if rng == 0:
            print(f"{name}: no range")
            continue
        d = (x.max(axis=0) - x.min(axis=0)).max() / rng
        print(f"{name}: range {rng:.6g}, departure {d:.3e}")
        worst = max(worst, d)
    print(f"{worst:.6e}")


def adjustment(work, steps):
    data = f"{work}/data"
    w = (g.field(data, "u2") + 1j * g.field(data, "v2")).mean(axis=0)  # (rows, levels)
    p = g.field(data, "pp", "p").mean(axis=0)
    dpdy = np.full_like(p, np.nan)
    dpdy[1:-1] = (p[2:] - p[:-2]) / (2 * g.DY)
    ug = -dpdy / g.coriolis()[:, None]
    dt = g.read(f"{work}/prepglo/data/rundata.nc", "dt")[0]
    turn = 1 - np.exp(-1j * steps * g.step_angle(dt))
    lat = np.degrees(np.abs(g.latitudes()))
    rows = (lat >= 15) & (lat <= 50)
    r = REF_LEVEL - 1
    worst = 0.0
    for k in LEVELS:
        thermal_wind = ug[rows, k - 1] - ug[rows, r]
        got = w[rows, k - 1] - w[rows, r]
        worst = max(worst, (np.abs(got - thermal_wind * turn[rows]) / np.abs(thermal_wind)).max())
    print(f"thermal-wind shear after {steps} steps: largest relative error {worst:.3f}")
    if not worst <= ADJUST_TOL:
        sys.exit(1)


if __name__ == "__main__":
    if sys.argv[1] == "symmetry":
        symmetry(sys.argv[2])
    else:
        adjustment(sys.argv[2], int(sys.argv[3]))
