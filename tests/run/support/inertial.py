"""Inertial oscillation in the flat aqua-planet at rest.

    inertial.py start WORK U0     put a zonal flow into the restart set
    inertial.py check WORK U0 N   compare the set after N more steps

WORK is the run's work folder (prepglo/data/ and data/ inside).

The rotation rate of the model is F + TANPHI u. The prepared "f" and "tanphi"
of every row must be 2 x 7.292e-5 x sin(lat) and tan(lat) / 6.371e8 cm (the
radius of the grid's metrics), with lat the row's centre on the grid
(75.9375 S + (J - 0.5) x 0.5625 degrees); "check" tests that first.

"start" writes, over a state at rest with horizontally uniform temperature
and salinity, a zonal flow u0 c(z) that does not vary horizontally and whose
thickness-weighted depth mean is zero (c = cos(pi z / H) less its mean,
scaled to 1 at its largest): the depth-integrated flow is zero at all times,
so neither surface treatment acts on it. The three time levels are those of
a pure inertial oscillation of the trapezoidal scheme: u0 c at the current
and filtered level n, and at the older level n - 1 the same vector turned
back by atan(f dt / 2), the angle the scheme turns it by in one step of
dt / 2. The C-grid faces hold the current flow.

"check": away from the walls (six rows: the closed faces there stop the
meridional flow), from the nodes of c (|c| >= 0.2) and from the bottom level
(where the drag acts), every row and level must have turned by N atan(f dt /
2) (clockwise in the north), which is f t to within (f dt / 2)^2 / 3 of it,
i.e. a period of 2 pi / f, within 0.02 rad (measured 5e-3), and kept its
speed within the damping of the time filter: at most 8 percent lost and 2
gained (measured 4.5 lost near the poles, 0.7 gained near the equator). The
metric term u tan(lat) / R turns the vector by at most u0 tan(lat) / (R f),
2e-3 rad at 10 cm/s, well inside; TANPHI 6.4e8 times too large, or F or the
rotation with the wrong sign, turns it by radians.
"""
import sys

import netCDF4
import numpy as np

import model_grid as g

WALL_ROWS = 6
PHASE_TOL = 0.02
SPEED_LOSS = 0.08
SPEED_GAIN = 0.02


def rundata(work):
    return {n: g.read(f"{work}/prepglo/data/rundata.nc", n) for n in ("f", "tanphi", "dt")}


def check_rundata(rd):
    bad = []
    for name, want in (("f", g.coriolis()), ("tanphi", np.tan(g.latitudes()) / g.RADIUS)):
        err = np.abs(rd[name] - want).max() / np.abs(want).max()
        print(f"rundata.nc {name}: largest relative difference {err:.2e}")
        if not err <= 1e-12:
            bad.append(name)
    return bad


def profile(work):
    z = g.read(f"{work}/prepglo/data/zkb.nc", "z")
    dz = 1.0 / g.read(f"{work}/prepglo/data/zkb.nc", "odz")
    c = np.cos(np.pi * z[2:81:2] / z[80])
    c -= (c * dz).sum() / dz.sum()
    return c / np.abs(c).max()


def put(path, name, x):
    with netCDF4.Dataset(path, "r+") as nc:
        nc[name][:] = x


def start(work, u0):
    rd = rundata(work)
    c = profile(work)
    a = g.step_angle(rd["dt"][0])
    shape = (320, g.ROWS, 40)
    u = np.broadcast_to(u0 * c[None, None, :], shape)
    zero = np.zeros(shape)
    old = u0 * c[None, None, :] * np.ones(shape)
    data = f"{work}/data"
    for name, x in (("u2", u), ("ul", u), ("uc", u), ("v2", zero), ("vl", zero), ("vc", zero),
                    ("u1", old * np.cos(a)[None, :, None]), ("v1", old * np.sin(a)[None, :, None])):
        put(f"{data}/{name}.nc", {"ul": "ulf", "vl": "vlf", "uc": "u", "vc": "v"}.get(name, name), x)
    put(f"{data}/wc.nc", "w", np.zeros((320, g.ROWS, 41)))


def check(work, u0, steps):
    rd = rundata(work)
    bad = check_rundata(rd)
    c = profile(work)
    w = (g.field(f"{work}/data", "u2") + 1j * g.field(f"{work}/data", "v2")).mean(axis=0)  # (rows, levels)
    want = u0 * c[None, :] * np.exp(-1j * steps * g.step_angle(rd["dt"][0]))[:, None]
    rows = slice(WALL_ROWS, g.ROWS - WALL_ROWS)
    levels = np.abs(c) >= 0.2
    levels[-1] = False
    ratio = (w / want)[rows][:, levels]
    phase = np.abs(np.angle(ratio)).max()
    speed = np.abs(ratio)
    print(f"after {steps} steps: largest phase error {phase:.2e} rad, speed ratio {speed.min():.4f} .. {speed.max():.4f}")
    if not phase <= PHASE_TOL:
        bad.append("phase")
    if not (speed.min() >= 1 - SPEED_LOSS and speed.max() <= 1 + SPEED_GAIN):
        bad.append("speed")
    if bad:
        sys.exit("failed: " + ", ".join(bad))


def main():
    mode, work, u0 = sys.argv[1], sys.argv[2], float(sys.argv[3])
    if mode == "start":
        start(work, u0)
    else:
        check(work, u0, int(sys.argv[4]))


if __name__ == "__main__":
    main()
