// Physical parametrizations: vertical mixing, Smagorinsky viscosity, wind
// stress and surface heating, the CFC air-sea flux.
#pragma once

#include "var/state.hpp"

namespace hc {

void pp82glonew(Ctx& c);
void smagglo(Ctx& c);
// The tile-local halves of smagglo, on either side of its exchange of the
// work planes: the cell-centre viscosity (without dm0) into SCR planes 1..40,
// and DMX, DMY as face means of those planes plus dm0.
void smag_cell_viscosity(Ctx& c);
void smag_face_viscosity(Ctx& c);
void windglo(Ctx& c, Field& U2, Field& V2, double& days, double& dt, double& odz1);
void cfcsurf(Ctx& c, Field& C2, Field& T2, Field& S2, double& days, double& dt, double& odz1);

// The older form of the vertical mixing, with the viscosity background from ADD.
void pp82glo(Ctx& c);
// Uniform surface heating of a plane, and penetrating heating by a profile.
void qsurfglo(Plane& plane, double& a, double& b);
void sunglo(Field& T, double& a, Vec<double, KM>& ODZ, Vec<double, KM>& QPROF, Mat<i16, NX, NY>& KB);

// Solubility (mol/(m3 ppt)) and Schmidt number of CFC-11 (kn = 11) or CFC-12
// (kn = 12) at temperature T (deg C) and salinity S; any other kn gives NaN.
void sol_cfc(double T, double S, i32 kn, double& alpha);
void sc_cfc(double T, i32 kn, double& sc);
// Reads "data/cfc1112_new.atm": year indices k0..kmax of n hemispheres into
// YEAR (kmax values) and P11, P12 (kmax x n). A missing or short file, or a
// data line without five numbers, ends the process with a message.
void read_cfcatm(Ctx& c, i32 n, i32 k0, i32 kmax, double* YEAR, double* P11, double* P12);
// CFCATM (imax x jmax x n) = PNORTH blended with PSOUTH by latitude RLAT
// (imax x jmax): northern north of 10 degrees, southern south of -10.
void cfc_interp(Ctx& c, i32 n, const double* PNORTH, const double* PSOUTH, const double* RLAT, i32 imax, i32 jmax,
                double* CFCATM);

}  // namespace hc
