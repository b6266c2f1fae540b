#!/bin/sh
# Rasterises the GSHHG low-resolution shoreline onto the model grid and writes
# the two small grids that halocline-prep builds the global case from:
#   prep/data/ocean-mask.txt     1 ocean, 0 land (lakes and their islands count as land)
#   prep/data/coast-distance.txt distance from the cell centre to the nearest coast, whole km
# Grid: 320 columns of 1.125 degrees from 0 E, 288 rows of 0.5625 degrees from
# 75.9375 S to 86.0625 N, values at cell centres (pixel registration).
# Each file: comment lines starting with '#', then 288 lines (southernmost row
# first) of 320 blank-separated integers (westernmost column first).
# Needs the Debian packages gmt and gmt-gshhg-low, which this script installs;
# a normal build uses the committed grids and needs no GMT.
set -e
cd "$(dirname "$0")/.."
OUT=prep/data
if ! command -v gmt >/dev/null 2>&1 || ! dpkg-query -W -f='${Status}' gmt-gshhg-low 2>/dev/null | grep -q "install ok installed"; then
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO=sudo
  $SUDO apt-get update
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends gmt gmt-gshhg-low
fi
TMP=$(mktemp -d)
OUT=$(pwd)/$OUT
trap 'rm -rf "$TMP"' EXIT
cd "$TMP"  # gmt keeps its history file in the working directory
R=-R0/360/-75.9375/86.0625
I=-I1.125/0.5625
# ocean/land/lake/island-in-lake/pond = 1/0/0/0/0
gmt grdlandmask $R $I -rp -Dl -N1/0/0/0/0 -G"$TMP/mask.nc"
gmt grdmath $R $I -rp -Dl LDISTG = "$TMP/dist.nc"
# -ZBLa: rows from the bottom (south) up, left to right, one value a line.
to_rows() {
  awk -v fmt="$2" 'BEGIN{n=0} {v=$1; printf fmt, v; n++; if (n%320==0) printf "\n"; else printf " "}' "$1"
}
{
  echo "# Ocean mask of the model grid, 1 ocean, 0 land: 288 rows (south first) of 320 columns (from 0 E)."
  echo "# Made by scripts/make-coast-grids.sh from the GSHHG low-resolution shoreline (gmt grdlandmask -Dl)."
  gmt grd2xyz "$TMP/mask.nc" -ZBLa > "$TMP/mask.txt"
  to_rows "$TMP/mask.txt" "%d"
} > "$OUT/ocean-mask.txt"
{
  echo "# Distance from each cell centre to the nearest GSHHG low-resolution coastline, whole km:"
  echo "# 288 rows (south first) of 320 columns (from 0 E). Made by scripts/make-coast-grids.sh (gmt grdmath -Dl LDISTG)."
  gmt grd2xyz "$TMP/dist.nc" -ZBLa > "$TMP/dist.txt"
  to_rows "$TMP/dist.txt" "%.0f"
} > "$OUT/coast-distance.txt"
echo "make-coast-grids: wrote $OUT/ocean-mask.txt and $OUT/coast-distance.txt"
