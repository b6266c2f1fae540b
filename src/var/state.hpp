// The model's state blocks and the context object that holds them.
//
// Each process holds exactly one Ctx for the whole run (made once at start-up,
// zero in every member), and every procedure reaches the blocks through it.
// Members keep the order, types, shapes and index ranges of the model's
// storage areas; arrays are first-index-fastest and contiguous, so the halo
// datatypes stride through them (82 between rows, 4100 between levels) and the
// raw records write them as they lie in memory.
#pragma once

#include <mpi.h>

#include <cstdint>
#include <cstdio>

#include "const/grid.hpp"
#include "var/array.hpp"

namespace hc {

using i16 = std::int16_t;
using i32 = std::int32_t;
using i64 = std::int64_t;

// 82 x 50 (x 40 ...) tile arrays of doubles, halo included.
using Plane = Mat<double, NX, NY>;
using Field = Box<double, NX, NY, KM>;
using FieldW = Box<double, NX, NY, KMP1>;
// 80 x 48 (x ...) interior-only arrays: index 1 is tile column or row 2.
using IPlane = Mat<double, NXI, NYI>;
using IField39 = Box<double, NXI, NYI, KMM1>;
using IMonthly = Box<double, NXI, NYI, NMONTH>;

// bglo: the prognostic fields.
struct Bglo {
    Field RHO{"RHO"};
    Plane PX{"PX"};
    Plane PY{"PY"};
    Field U1{"U1"};
    Field U2{"U2"};
    Field V1{"V1"};
    Field V2{"V2"};
    Field S1{"S1"};
    Field S2{"S2"};
    Field T1{"T1"};
    Field T2{"T2"};
    Plane P0{"P0"};
    Field P{"P"};
    Field ULF{"ULF"};
    Field VLF{"VLF"};
    Field SLF{"SLF"};
    Field TLF{"TLF"};
    IField39 EV{"EV"};
    IField39 HV{"HV"};
    Vec<double, NYI> F{"F"};
    Vec<double, NYI> TANPHI{"TANPHI"};
    Field C1{"C1"};
    Field C2{"C2"};
    Field CLF{"CLF"};
};

// cgridglo: face velocities of the C grid.
struct Cgridglo {
    Field U{"U"};
    Field V{"V"};
    FieldW W{"W"};
};

// bathyglo: bottom level and masks (16-bit), 1 on water or an open face.
struct Bathyglo {
    Mat<i16, NX, NY> KB{"KB"};
    Arr<i16, Rg<0, 83>, Rg<1, NY>> IU0{"IU0"};
    Arr<i16, Rg<1, NX>, Rg<0, 50>> IV0{"IV0"};
    Box<i16, NX, NY, KM> IN{"IN"};
    Arr<i16, Rg<0, 83>, Rg<1, NY>, Rg<1, KM>> IU{"IU"};
    Arr<i16, Rg<1, NX>, Rg<0, 50>, Rg<1, KM>> IV{"IV"};
    Box<i16, NX, NY, KMP1> IW{"IW"};
};

// zfsglo: the vertical grid.
struct Zfsglo {
    Vec<double, NZT> Z{"Z"};
    Vec<double, KM> ODZ{"ODZ"};
    Vec<double, KMP1> ODZW{"ODZW"};
};

// metricglo: horizontal metrics per tile row (50), face row (49) or column (82).
struct Metricglo {
    Vec<double, KM> A{"A"};
    Vec<double, NY> y{"y"};
    Vec<double, NY> yv{"yv"};
    Vec<double, NY> yvdeg{"yvdeg"};
    Vec<double, NY> YDEG{"YDEG"};
    Vec<double, NX> XDEG{"XDEG"};
    Vec<double, NY> cs{"cs"};
    Vec<double, NY - 1> CSV{"CSV"};
    Vec<double, NY> OCS{"OCS"};
    Vec<double, NY - 1> ocsv{"ocsv"};
    Vec<double, NY> DX{"DX"};
    Vec<double, NY - 1> dxv{"dxv"};
    Vec<double, NY> ODX{"ODX"};
    Vec<double, NY - 1> odxv{"odxv"};
    Vec<double, NY> DY{"DY"};
    Vec<double, NY - 1> dyv{"dyv"};
    Vec<double, NY> ODY{"ODY"};
    Vec<double, NY - 1> ODYV{"ODYV"};
};

// controglo: run parameters and four scalars of the restart set.
struct Controglo {
    double evap = 0, qsum = 0, olde = 0, oldq = 0;
    double dt = 0, tlz = 0, b = 0, g = 0, dm0 = 0, de0 = 0, dmz0 = 0, rzmx = 0, drag = 0, fltw = 0, daodt = 0;
    i32 ktrm = 0, mvi = 0, mxit = 0, isav = 0, mxsav = 0, lrstrt = 0, lopen = 0, lmovi = 0, lfsrf = 0, lsolver = 0;
    double rawf = 0;
    i32 lprecon = 0;
};

// scaglo: run-wide scalars and the calendar.
struct Scaglo {
    double odt = 0, prn = 0, days = 0, orzmx = 0, ofltw = 0, qfac = 0;
    i32 iday = 0, iyear = 0, itf = 0, it0 = 0, nday = 0;
    i32 nwet = 0;  // global number of wet surface points (derived by set_surfwinds)
};

// title: case name and description.
struct Title {
    Text<5> case_;
    Text<63> describ;
};

// climatglo: climatology and the learned surface flux correction.
struct Climatglo {
    IPlane TNUDGE{"TNUDGE"};
    IMonthly QAVG{"QAVG"};
    Arr<double, Rg<1, NX>, Rg<1, NY>, Rg<1, KM>, Rg<1, NMONTH>> TCLIS{"TCLIS"};
    Arr<double, Rg<1, NX>, Rg<1, NY>, Rg<1, KM>, Rg<1, NMONTH>> SCLIS{"SCLIS"};
    Vec<i32, NMONTH> NSOMBO{"NSOMBO"};
    Field TCLIM{"TCLIM"};
    Field SCLIM{"SCLIM"};
};

// klimatglo: month interpolation of the current step.
struct Klimatglo {
    double wnext = 0, wthis = 0;
    i32 mnext = 0, mthis = 0;
};

// nudging: relaxation rates.
struct Nudging {
    FieldW HMEAN_NUDGE{"HMEAN_NUDGE"};
    Plane T_NUDGE{"T_NUDGE"};
    Plane S_NUDGE{"S_NUDGE"};
};

// windsglo: monthly wind stress, interior-only, month last.
struct Windsglo {
    IMonthly TAUX{"TAUX"};
    IMonthly TAUY{"TAUY"};
};

// windmxglo: background vertical mixing at the 39 interfaces.
struct Windmxglo {
    Vec<double, KMM1> vbk{"vbk"};
    Vec<double, KMM1> hbk{"hbk"};
};

// tauglo: extra vertical viscosity at the interior interfaces.
struct Tauglo {
    IField39 ADD{"ADD"};
};

// filterglo: lateral viscosities.
struct Filterglo {
    Field DMX{"DMX"};
    Field DMY{"DMY"};
};

// scratchglo: shared work space, 42 planes of 82 x 50.
struct Scratchglo {
    Box<double, NX, NY, NSCR> SCR{"SCR"};
};

// timer: ten wall-clock slots; also the record of the timer file.
struct Timer {
    Vec<double, 10> t{"timer"};
};

// fullopt: averaging period and per-step averaging weight.
struct Fullopt {
    i32 noutd = 0;
    double wavg = 0;
};

// flxglo: face fluxes of one level, for U, V, S, T, C in this order.
struct FluxSet {
    Arr<double, Rg<1, 81>, Rg<1, NYI>> XX;
    Arr<double, Rg<1, NXI>, Rg<1, 49>> XY;
    Arr<double, Rg<1, NXI>, Rg<1, NYI>, Rg<1, 2>> XZ;
    explicit FluxSet(const char* x, const char* y, const char* z) : XX(x), XY(y), XZ(z) {}
};
struct Flxglo {
    FluxSet U{"UX", "UY", "UZ"};
    FluxSet V{"VX", "VY", "VZ"};
    FluxSet S{"SX", "SY", "SZ"};
    FluxSet T{"TX", "TY", "TZ"};
    FluxSet C{"CFCX", "CFCY", "CFCZ"};
};

// blank: face pressure differences and per-level viscosity copies.
struct Blank {
    Arr<double, Rg<0, 82>, Rg<1, NY>> XP{"XP"};
    Arr<double, Rg<1, NX>, Rg<0, 50>> YP{"YP"};
    Arr<double, Rg<1, 81>, Rg<1, NY>> DHX{"DHX"};
    Arr<double, Rg<1, NX>, Rg<1, 49>> DHY{"DHY"};
};

// sevp: the surface-pressure system and the marching solver's storage.
// A residual row of 320 entries is cut into six shares of 54 (the last
// padded with zeros, so evpg carries 4 zero entries after the 320 of the
// row). An influence matrix of sub-block m maps share r of a residual row to
// the 82 points of a tile row by its 54 x 82 slab (m, r); a process holds,
// for its own tile columns, the slabs of every share of the sub-blocks its
// process row marches: RINV(:, :, r, h) of sub-block 12 p + h, RINV1(:, :, r,
// l) of sub-block 12 p + l (l = 0: the last one of the process row below;
// slabs of sub-blocks 0 and 72 are zero and unused).
inline constexpr int NEVPQ = 54;
using RinvSlabs = Arr<double, Rg<1, NEVPQ>, Rg<1, NX>, Rg<1, NPROC_ROWS>, Rg<1, 12>>;
using Rinv1Slabs = Arr<double, Rg<1, NEVPQ>, Rg<1, NX>, Rg<1, NPROC_ROWS>, Rg<0, 12>>;
using EvpqRow = Vec<double, NEVPQ>;
using EvpgRow = Vec<double, NEVPQ * NPROC_ROWS>;
struct Sevp {
    RinvSlabs RINV{"RINV"};
    Rinv1Slabs RINV1{"RINV1"};
    Mat<double, NX, 12> DUM0{"DUM0"};
    EvpqRow evpq{"evpq"};
    Vec<double, NX> evpe{"evpe"};
    EvpgRow evpg{"evpg"};
    Plane X{"X"};
    IPlane AL{"AL"};
    IPlane AB{"AB"};
    IPlane AC{"AC"};
    IPlane AR{"AR"};
    Mat<double, NXI, 49> AT{"AT"};
    IPlane S{"S"};
    Vec<i32, 12> IE{"IE"};
    IPlane cl{"cl"};
    IPlane cb{"cb"};
    IPlane cc{"cc"};
    IPlane cr{"cr"};
    IPlane ct{"ct"};
};

// bicg: the BiCGStab work vectors.
struct Bicg {
    Plane bicg_r{"bicg_r"};
    Plane bicg_rhat{"bicg_rhat"};
    Plane bicg_p{"bicg_p"};
    Plane bicg_v{"bicg_v"};
    Plane bicg_s{"bicg_s"};
    Plane bicg_t{"bicg_t"};
    Plane bicg_y{"bicg_y"};
    Plane bicg_z{"bicg_z"};
    // Passes of the latest solve (restarts included) and whether it had to
    // restart after a breakdown; the step reports them in the per-process log.
    i32 passes = 0;
    i32 restarted = 0;
};

// histavg: the twelve running means of the history files.
struct Histavg {
    Field PAVG{"PAVG"};
    Field UAVG{"UAVG"};
    Field VAVG{"VAVG"};
    Field TAVG{"TAVG"};
    Field CFCAVG{"CFCAVG"};
    Field SAVG{"SAVG"};
    FieldW WCAVG{"WCAVG"};
    FieldW EVAVG{"EVAVG"};
    FieldW HVAVG{"HVAVG"};
    Field DMXAVG{"DMXAVG"};
    Field DMYAVG{"DMYAVG"};
    Field RHOAVG{"RHOAVG"};
};

// tavgglo: six planes carried through the restart set only.
struct Tavgglo {
    Plane pbar{"pbar"};
    Plane pvar{"pvar"};
    Plane xbar{"xbar"};
    Plane ucli{"ucli"};
    Plane vcli{"vcli"};
    Plane rmsv{"rmsv"};
};

// bred: the bred-vector switch, window and target norms.
struct Bred {
    i32 lbred = 0;
    Mat<i16, NXI, NYI> IBRED{"IBRED"};
    double ke1norm = 0, ke2norm = 0, kelnorm = 0;
};

// mpicomm: communicators, ranks, neighbours, datatypes, face-row bounds.
// The handles are the C binding's types; their order is the block's.
struct Mpicomm {
    MPI_Comm comm3d = MPI_COMM_NULL, comm2d = MPI_COMM_NULL, commx = MPI_COMM_NULL, commy = MPI_COMM_NULL;
    i32 myid = 0, myidx = 0, myidy = 0;
    i32 inorth = 0, ieast = 0, isouth = 0, iwest = 0;
    MPI_Datatype col3d = MPI_DATATYPE_NULL, row3d = MPI_DATATYPE_NULL, col2d = MPI_DATATYPE_NULL,
                 row2d = MPI_DATATYPE_NULL;
    MPI_Datatype col2d_in = MPI_DATATYPE_NULL;  // the 48 interior points of a plane's column
    i32 jbeg = 0, jend = 0;
    i32 ierr = 0;
    Vec<i32, 14> NPX{"NPX"};
    Vec<i32, 14> NPY{"NPY"};
    MPI_Status istatus{};
};

// mpi_vtype: the eight halo datatypes vtype(1..8).
struct MpiVtype {
    MPI_Datatype vtype[9] = {};  // vtype[1..8]; [0] unused
};

// grdglo: the 7-character tile name, e.g. 002_005.
struct Grdglo {
    char name[8] = {};
};

// pnetcdf, pnetcdf2: file slab vectors, fastest dimension first, from 1.
struct Pnetcdf {
    Vec<i64, 6> NN{"NN"};
    Vec<i64, 3> nst3{"nst3"};
    Vec<i64, 3> ncn3{"ncn3"};
    Vec<i64, 3> nstm{"nstm"};
    Vec<i64, 3> ncnm{"ncnm"};
    Vec<i64, 2> nst2{"nst2"};
    Vec<i64, 2> ncn2{"ncn2"};
    Vec<i64, 2> ione{"ione"};
};
struct Pnetcdf2 {
    Vec<i64, 3> fst3{"fst3"};
    Vec<i64, 3> fcn3{"fcn3"};
    Vec<i64, 3> fstm{"fstm"};
    Vec<i64, 3> fcnm{"fcnm"};
    Vec<i64, 2> fst2{"fst2"};
    Vec<i64, 2> fcn2{"fcn2"};
    Vec<i64, 3> fcnw{"fcnw"};
};

// Location pairs of the latest rangerle: (i, j) of the minimum and maximum.
struct Ranger {
    i32 ijlo[2] = {0, 0};
    i32 ijhi[2] = {0, 0};
};

// Persistent buffers of the packed exchanges: per member, eight buffers.
template <int NSLOT_EW, int NSLOT_NS>
struct PeriBuffers {
    Vec<double, NSLOT_EW> SBW{"SBW"}, SBE{"SBE"}, RBW{"RBW"}, RBE{"RBE"};
    Vec<double, NSLOT_NS> SBN{"SBN"}, SBS{"SBS"}, RBN{"RBN"}, RBS{"RBS"};
};
struct Peri {
    PeriBuffers<4000, 6560> ts;
    PeriBuffers<8000, 13120> uv;
    PeriBuffers<28000, 45920> all;
    PeriBuffers<100, 164> scr;
};

// Work array of the face interpolation, persistent between steps.
struct Cgridwork {
    Field SCR1{"SCR1"};
};

// The lines beyond the halo that the level loop reads from the neighbours,
// of all levels at once: per level, slot 1 the pressure differences (XP
// column or YP row), slots 2..6 the X2 lines of U, V, S, T, C. Send buffers
// hold this tile's lines, receive buffers the neighbour's. West: columns sent
// west (XP column 2, X2 column 3), received from the east; east: columns 80
// sent east, received from the west; south: rows sent south (YP row 2, X2
// row 3), received from the north; north: rows 48 sent north, received from
// the south.
inline constexpr int NLEVEL_LINES = 6;

// The marching solver's copies of the other three tiles of its process row,
// so that each process marches the whole row itself and a sub-block needs no
// transfer within the row but its corrected rows (docs/solvers.md); the other
// tiles' slabs serve where the row's processes share no memory. Tile q of the
// row (tile column q, the rank in commx) is at tile[q]; the process's own
// tile stays in block sevp and its slot here is unused.
struct Marchtile {
    // Fixed with the influence matrices (build_marching_matrices).
    IPlane AL{"row_AL"}, AB{"row_AB"}, AC{"row_AC"}, AR{"row_AR"};
    Mat<double, NXI, 49> AT{"row_AT"};
    RinvSlabs RINV{"row_RINV"};
    Rinv1Slabs RINV1{"row_RINV1"};
    // Taken at the start of every solve, and the solve's work.
    IPlane S{"row_S"};
    Plane X{"row_X"};
    Mat<double, NX, 12> DUM0{"row_DUM0"};
    Vec<double, NX> evpe{"row_evpe"};
};
struct Marchwork {
    Marchtile tile[NPROC_COLS];
    // S and X of every tile of the row, gathered at the start of a solve.
    Vec<double, NXI * NYI + NX * NY> send{"march_send"};
    Arr<double, Rg<1, NXI * NYI + NX * NY>, Rg<0, NPROC_COLS - 1>> recv{"march_recv"};
    // The halo row of every tile of the row handed between process rows.
    Mat<double, NX, NPROC_COLS> relay{"march_relay"};
    // The six shares' products of one influence-matrix correction.
    Mat<double, NX, NPROC_ROWS> part{"part"};
    // Where the four processes of the row share memory (open_row_share):
    // each corrects its own tile and the row's corrected rows pass through
    // share_rows (two sets of four rows of NX, alternating), each process
    // announcing its row by its counter share_seq[8 q] (one cache line each).
    // share_rows is null where they do not; every process then corrects all
    // four tiles itself. share_state (two sets of the four tiles' S and X,
    // as send holds them) takes the place of the gather at the start of a
    // solve; the two kinds of share count in one sequence.
    MPI_Win share_win = MPI_WIN_NULL;
    double* share_rows = nullptr;
    double* share_state = nullptr;
    std::uint64_t* share_seq = nullptr;
    std::uint64_t shares = 0;  // shares (rows, S and X) this process has made so far
};

// Pack buffers of the grouped one-point halo exchange of up to NGROUP_FIELDS
// three-dimensional fields (one line of every level of every field).
inline constexpr int NGROUP_FIELDS = 16;
struct Groupwork {
    using Lines = Arr<double, Rg<1, NX>, Rg<1, KM>, Rg<1, NGROUP_FIELDS>>;
    // send/recv: the west- and southward lines, send2/recv2: the east- and
    // northward ones (both directions of an axis travel in one round).
    Lines send{"group_send"}, recv{"group_recv"}, send2{"group_send2"}, recv2{"group_recv2"};
};
struct Levelwork {
    using Cols = Arr<double, Rg<1, NY>, Rg<1, NLEVEL_LINES>, Rg<1, KM>>;
    using Rows = Arr<double, Rg<1, NX>, Rg<1, NLEVEL_LINES>, Rg<1, KM>>;
    Cols west_s{"west_s"}, west_r{"west_r"}, east_s{"east_s"}, east_r{"east_r"};
    Rows south_s{"south_s"}, south_r{"south_r"}, north_s{"north_s"}, north_r{"north_r"};
};

// Persistent data of the CFC surface flux.
struct Cfcstate {
    bool FIRST_CALL = true;
    IMonthly FICE{"FICE"};
    IMonthly XKW{"XKW"};
    IMonthly PATM{"PATM"};
    Vec<double, 99> YEAR{"YEAR"};
    Mat<double, 99, 2> P11{"P11"};
    Mat<double, 99, 2> P12{"P12"};
    IPlane RLAT{"RLAT"};
    Vec<double, 2> PNORTH{"PNORTH"};
    Vec<double, 2> PSOUTH{"PSOUTH"};
    Box<double, NXI, NYI, 2> CFCATM{"CFCATM"};
    i32 INDX1 = 0, INDX2 = 0;
    double DAY0 = 0;
    i32 MONTH = 0;
    double STMAX = 0, SSMAX = 0, CMAX = 0, CFCMAX = 0, KWMAX = 0, SCMAX = 0, ALPHAMAX = 0, XKWMAX = 0;
    double STMIN = 0, SSMIN = 0, CMIN = 0, CFCMIN = 0, KWMIN = 0, SCMIN = 0, ALPHAMIN = 0, XKWMIN = 0;
    bool held_last_year = false;  // the history's last year is being held (reported once)
    // cfc_interp
    Vec<double, 40000> XINTP{"XINTP"};
    i32 IENTRY = 0;
};

// Persistent work of the bred-vector mode.
struct Bredwork {
    Field UB{"UB"}, VB{"VB"}, TB{"TB"}, SB{"SB"};  // rescbred
    Field IUB{"UB"}, IVB{"VB"};                    // initbred's own
};

// Persistent packing buffers of the restart, initial-state and history
// writers: one tile block of up to 41 levels, and one 2-D block.
struct Outwork {
    Vec<double, KMP1 * INTERIOR> RBF{"RBF"};
    Vec<double, INTERIOR> DBF{"DBF"};
};

// Read buffer of the model-state readers (restart set, per-field files,
// initial state, gas exchange): one block of up to 41 levels of the interior.
struct Statereadbuf {
    Vec<double, KMP1 * INTERIOR> buf{"RBUF"};
};

// Per-process log and process-wide I/O handles.
struct Iostate {
    std::FILE* log = nullptr;  // "data/glo" + tile name, open for the whole run
};

// The one context object of a process: every state block, reached by every
// procedure. Allocate it once (it is large) and never copy it.
struct Ctx {
    Bglo bglo;
    Cgridglo cgridglo;
    Bathyglo bathyglo;
    Zfsglo zfsglo;
    Metricglo metricglo;
    Controglo controglo;
    Scaglo scaglo;
    Title title;
    Climatglo climatglo;
    Klimatglo klimatglo;
    Nudging nudging;
    Windsglo windsglo;
    Windmxglo windmxglo;
    Tauglo tauglo;
    Filterglo filterglo;
    Scratchglo scratchglo;
    Timer timer;
    Fullopt fullopt;
    Flxglo flxglo;
    Blank blank;
    Sevp sevp;
    Bicg bicg;
    Histavg histavg;
    Tavgglo tavgglo;
    Bred bred;
    Mpicomm mpicomm;
    MpiVtype mpi_vtype;
    Grdglo grdglo;
    Pnetcdf pnetcdf;
    Pnetcdf2 pnetcdf2;
    Ranger ranger;
    Peri peri;
    Cgridwork cgridwork;
    Levelwork levelwork;
    Groupwork groupwork;
    Marchwork marchwork;
    Cfcstate cfc;
    Bredwork bredwork;
    Outwork outwork;
    Iostate io;
    Statereadbuf stateread;
    char sys1[48] = {};   // the backup's directory command (30 characters up to backup 999)
    char sys2[512] = {};  // the backup's copy command

    Ctx() = default;
    Ctx(const Ctx&) = delete;
    Ctx& operator=(const Ctx&) = delete;

    // The context is some 140 MB a process: it is kept in memory of 2 MB pages
    // where the system grants them, so that zeroing it at start-up takes one
    // page fault per 2 MB instead of per 4 KB (24 processes zeroing 3.3 GB in
    // 4 KB pages took 2 to 3.5 s of the start-up).
    static void* operator new(std::size_t n);
    static void operator delete(void* p);
};

// Makes the context of this process: every member zero.
Ctx* make_ctx();

}  // namespace hc
