#!/bin/bash
# The preparation tool from the command line: a small case makes the whole
# run directory with the variables the model reads; bad arguments stop it
# with a message and a failure status, leaving no run directory behind.
set -u
dir=$HC_TESTDIR
rm -rf "$dir" && mkdir -p "$dir" && cd "$dir" || exit 1
pass=0
fail=0
ok() { pass=$((pass + 1)); }
bad() { fail=$((fail + 1)); echo "FAIL: $*"; }

start=$(date +%s)
out=$("$HC_PREP" --case global --out small --no-land --flat-bottom 4 --uniform-climatology --no-wind \
  --short-periods --set mxit=3 --set lfsrf=0 2>&1)
rc=$?
[ $rc -eq 0 ] && ok || bad "small case: exit status $rc: $out"
[ $(($(date +%s) - start)) -lt 60 ] && ok || bad "small case took a minute or more"

for f in work/prepglo/data/rundata.nc work/prepglo/data/zkb.nc work/prepglo/data/windmix.nc \
  work/prepglo/data/winds.nc work/prepglo/data/annualevitus.nc work/prepglo/data/evp.nc \
  work/data/brinex_gasx.nc work/data/cfc1112_new.atm; do
  [ -s "small/$f" ] && ok || bad "missing $f"
done
[ -d small/output ] && [ -z "$(ls small/output)" ] && ok || bad "output/ is missing or not empty"

# Scalars as set, and the variables of each file.
vals=$(ncdump -v mxit,lfsrf,daodt,dt small/work/prepglo/data/rundata.nc | sed -n '/^data:/,$p' | tr -d ' ;')
for want in mxit=3 lfsrf=0 daodt=1 dt=3600; do
  grep -qx "$want" <<<"$vals" && ok || bad "rundata.nc: expected $want in: $vals"
done
vars() { ncdump -h "$1" | sed -n 's/^\t[a-z]* \([a-z0-9_]*\)(.*/\1/p' | sort | tr '\n' ' '; }
check_vars() {
  local got
  got=$(vars "small/work/$1")
  [ "$got" = "$2" ] && ok || bad "$1: variables [$got], expected [$2]"
}
check_vars prepglo/data/zkb.nc "in iu iu0 iv iv0 iw kb odz odzw rmets tlz z "
check_vars prepglo/data/windmix.nc "hbk vbk "
check_vars prepglo/data/winds.nc "tauxs tauys "
check_vars prepglo/data/annualevitus.nc "s1_data t1_data "
check_vars prepglo/data/evp.nc "ab ac al ar at cb cc cl cr ct "
check_vars data/brinex_gasx.nc "fice patm xkw "
n=$(vars small/work/prepglo/data/rundata.nc | wc -w)
[ "$n" -eq 48 ] && ok || bad "rundata.nc holds $n variables, not 48"
# Six header lines and the years 1931 to 1999.
atm=small/work/data/cfc1112_new.atm
[ "$(wc -l <"$atm")" -eq 75 ] && [ "$(sed -n 7p "$atm" | cut -c1-7)" = "1931.50" ] &&
  [ "$(sed -n 75p "$atm" | cut -c1-7)" = "1999.50" ] && ok || bad "$atm: not 6 header lines and 69 years"

# Refused arguments: message, failure status, no run directory.
refuse() {
  local name=$1
  shift
  local msg
  msg=$("$HC_PREP" --out "refused_$name" "$@" 2>&1)
  local rc=$?
  if [ $rc -ne 0 ] && [ -n "$msg" ] && [ ! -e "refused_$name" ]; then ok; else bad "$name: rc=$rc msg=$msg"; fi
}
refuse unknown_scalar --no-land --set nosuch=1
refuse not_integer --no-land --set mxit=2.5
refuse not_number --no-land --set dt=fast
refuse bad_flat --flat-bottom 41
refuse unknown_case --case pond
refuse unknown_option --frobnicate
msg=$("$HC_PREP" --no-land 2>&1) && bad "no --out accepted" || ok

echo "$pass passed, $fail failed"
[ $fail -eq 0 ]
