#!/usr/bin/python3
"""Month-by-month diagnostics of a run from its history files.

    scripts/history-diag.py OUTPUT_DIR [--markdown]

OUTPUT_DIR is the run's output folder ("../output/" of the model), holding
topo.nc and the history files dYYY_DDD.nc of 30-day means. One line per
history file, in model-time order:

  sst min/mean/max   surface temperature over the wet cells (C); the mean
                     is area-weighted
  sss min/mean/max   surface salinity, likewise
  ke                 volume-mean kinetic energy 0.5 (u^2 + v^2) of the monthly
                     mean flow over the wet cells (cm^2/s^2)
  max|u| max|v|      largest monthly-mean cell velocities (cm/s)
  2dx share          share of the surface kinetic energy in the two-grid-point
                     pattern: the energy of the 1-2-1 second difference
                     (q[i-1] - 2 q[i] + q[i+1]) / 4 of surface u and v along
                     each direction, over the energy of u and v (0 for smooth
                     flow, 1 for a pure checkerboard)
  drake              eastward volume transport through Drake Passage (Sv):
                     u integrated over depth and latitude along the meridian
                     closest to 68.5 W, from 70 S to 54 S
  u eq / u 50S       zonal mean of the surface u between 2 S and 2 N, and
                     between 55 S and 45 S (cm/s): the signs of the
                     equatorial current and of the circumpolar current

Needs numpy and netCDF4 (Debian's python3-numpy, python3-netcdf4).
"""
import glob
import os
import sys

import numpy as np
from netCDF4 import Dataset

RADIUS = 6.371e8  # cm, the preparation tool's earth radius


def load_grid(out):
    with Dataset(os.path.join(out, "topo.nc")) as t:
        lat = np.array(t["lat"][:], dtype=float)
        lon = np.array(t["lon"][:], dtype=float)
        lev_f = np.array(t["lev_f"][:], dtype=float)
        mask = np.array(t["mask"][:], dtype=float)  # (level, lat, lon), 1 on water
    dz = np.diff(lev_f)  # cm, thickness of each level
    dlat = np.deg2rad(abs(lat[1] - lat[0]))
    dlon = np.deg2rad(abs(lon[1] - lon[0]))
    dy = RADIUS * dlat
    dx = RADIUS * dlon * np.cos(np.deg2rad(lat))  # per row
    area = np.outer(dx * dy, np.ones(lon.size))  # (lat, lon)
    vol = dz[:, None, None] * area[None, :, :] * mask
    return lat, lon, dz, dy, mask, area, vol


def second_difference_share(q, wet, axis):
    """Energy of the two-grid-point part of q along one axis and the energy of q,
    over points whose two neighbours along the axis are wet."""
    if axis == 1:  # longitude, periodic
        qm, qp = np.roll(q, 1, axis=1), np.roll(q, -1, axis=1)
        ok = wet & np.roll(wet, 1, axis=1) & np.roll(wet, -1, axis=1)
    else:  # latitude, closed
        qm = np.zeros_like(q)
        qp = np.zeros_like(q)
        qm[1:-1, :], qp[1:-1, :] = q[:-2, :], q[2:, :]
        ok = np.zeros_like(wet)
        ok[1:-1, :] = wet[1:-1, :] & wet[:-2, :] & wet[2:, :]
    h = (qm - 2.0 * q + qp) / 4.0
    return float(np.sum(h[ok] ** 2)), float(np.sum(q[ok] ** 2))


def month_row(path, grid):
    lat, lon, dz, dy, mask, area, vol = grid
    with Dataset(path) as h:
        t = np.array(h["temperature"][0], dtype=float)
        s = np.array(h["salinity"][0], dtype=float)
        u = np.array(h["u-velocity"][:], dtype=float)
        v = np.array(h["v-velocity"][:], dtype=float)
    wet1 = mask[0] > 0
    a1 = area[wet1]
    row = {
        "file": os.path.basename(path),
        "sst": (t[wet1].min(), np.sum(t[wet1] * a1) / a1.sum(), t[wet1].max()),
        "sss": (s[wet1].min(), np.sum(s[wet1] * a1) / a1.sum(), s[wet1].max()),
    }
    wet = mask > 0
    row["ke"] = float(np.sum(0.5 * (u**2 + v**2) * vol) / vol.sum())
    row["umax"] = float(np.abs(u[wet]).max())
    row["vmax"] = float(np.abs(v[wet]).max())
    num = den = 0.0
    for q in (u[0] * wet1, v[0] * wet1):
        for axis in (0, 1):
            n, d = second_difference_share(q, wet1, axis)
            num += n
            den += d
    row["share"] = num / den if den > 0 else 0.0
    # Drake Passage: the meridian closest to 68.5 W (291.5 E).
    ic = int(np.argmin(np.abs(((lon - 291.5) + 180.0) % 360.0 - 180.0)))
    js = np.where((lat >= -70.0) & (lat <= -54.0))[0]
    sec = u[:, js, ic] * mask[:, js, ic] * dz[:, None] * dy
    row["drake"] = float(sec.sum()) / 1e12  # cm^3/s to Sv
    for key, lo, hi in (("ueq", -2.0, 2.0), ("u50s", -55.0, -45.0)):
        jj = (lat >= lo) & (lat <= hi)
        w = wet1[jj]
        row[key] = float(np.sum(u[0][jj][w] * area[jj][w]) / np.sum(area[jj][w])) if w.any() else float("nan")
    return row


def main():
    args = [a for a in sys.argv[1:] if not a.startswith("--")]
    markdown = "--markdown" in sys.argv
    if len(args) != 1:
        print(__doc__.strip().splitlines()[2].strip(), file=sys.stderr)
        return 2
    out = args[0]
    files = sorted(glob.glob(os.path.join(out, "d[0-9][0-9][0-9]_[0-9][0-9][0-9].nc")))
    if not files:
        print(f"history-diag: no history files in {out}", file=sys.stderr)
        return 1
    grid = load_grid(out)
    head = ["file", "sst min", "sst mean", "sst max", "sss min", "sss mean", "sss max", "ke", "max|u|",
            "max|v|", "2dx share", "drake Sv", "u eq", "u 50S"]
    if markdown:
        print("| " + " | ".join(h.replace("|", "\\|") for h in head) + " |")
        print("|" + "---|" * len(head))
    else:
        print(" ".join(f"{h:>12}" for h in head))
    for path in files:
        r = month_row(path, grid)
        vals = [r["file"], *r["sst"], *r["sss"], r["ke"], r["umax"], r["vmax"], r["share"], r["drake"], r["ueq"],
                r["u50s"]]
        cells = [vals[0]] + [f"{x:.4g}" for x in vals[1:]]
        if markdown:
            print("| " + " | ".join(cells) + " |")
        else:
            print(" ".join(f"{c:>12}" for c in cells))
        sys.stdout.flush()
    return 0


if __name__ == "__main__":
    sys.exit(main())
