"""The grid of the prepared global case and the restart set's fields, for the
whole-program physics checks (docs/physics.md)."""
import netCDF4
import numpy as np

OMEGA = 7.292e-5  # 1/s
RADIUS = 6.371e8  # cm, the sphere of the grid's metrics
ROWS = 288
DY = RADIUS * np.radians(0.5625)  # cm


def latitudes():
    """Latitude (radians) of the centre of each global row 1..288."""
    return np.radians(-75.9375 + (np.arange(1, ROWS + 1) - 0.5) * 0.5625)


def coriolis():
    return 2 * OMEGA * np.sin(latitudes())


def read(path, name):
    with netCDF4.Dataset(path) as nc:
        return np.asarray(nc[name][:], dtype=np.float64)


def field(data, tag, name=None):
    """A field of the restart set in data/: (longitude, latitude, level)."""
    return read(f"{data}/{tag}.nc", name or tag)


def step_angle(dt):
    """The angle by which the trapezoidal Coriolis stage turns a velocity in
    one step: it turns it by 2 atan(f dt / 2) from the older level to the new
    one, two steps apart. f t to within (f dt / 2)^2 / 3 of it."""
    return np.arctan(0.5 * dt * coriolis())
