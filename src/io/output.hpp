// The writers' own procedures: packing a tile into file order, the running
// means, one per-field file of the restart set, and the save decisions.
#pragma once

#include <string>

#include "var/state.hpp"

namespace hc {

// Packing. FD is declared ni x nj x nk (from 1); the mi x mj x nk block at
// offsets (oi, oj) goes into RBF.
// Level fastest, then j, then i (the model-state files).
void mtx2rvec(const double* FD, double* RBF, int ni, int nj, int mi, int mj, int nk, int oi, int oj);
// The interior of an 82 x 50 plane, j fastest (3840 values).
void mtx2dvec(const double* FD, double* DBF);
// i fastest, then j, then the level (history and topography files).
void mtx2rvec2(const double* FD, double* RBF, int ni, int nj, int mi, int mj, int nk, int oi, int oj);
// FD declared ni x nj x nk x nm: months outer, levels 1..mk, i fastest.
void mtx2rvec_m(const double* FD, double* RBF, int ni, int nj, int nk, int mi, int mj, int mk, int nm, int oi,
                int oj);
// As mtx2rvec2 for a 16-bit source, widened to 32 bits.
void mtx2ivec(const i16* FD, i32* RBF, int ni, int nj, int mi, int mj, int nk, int oi, int oj);
// Mask times field over the interior of 40 (mtx2vec_c, mtx2dec_c) or 41
// (mtx2vec_f) levels, i fastest.
void mtx2vec_c(const Field& FLD, const Box<i16, NX, NY, KM>& MASK, double* RBF);
void mtx2dec_c(const Field& FLD, const Box<i16, NX, NY, KM>& MASK, double* RBF);
void mtx2vec_f(const FieldW& FLD, const Box<i16, NX, NY, KMP1>& MASK, double* RBFW);

// Running mean: ACC = weight * SRC + ACC over the interior of levels 1..nk
// (SRC and ACC are 82 x 50 x nk).
void timeavg(const double* SRC, double* ACC, int nk, double weight);
void timeavgd(const double* SRC, double* ACC, int nk, double weight);

// One per-field file of the restart set, written under its temporary name
// (see restart_temp_name); lenidx picks the length of "level" from NN.
// Returns false when one of its calls failed on this process.
bool write2nc(Ctx& c, const char* tag, const char* name, const double* FLD, int levels, int lenidx);

// The per-field files of the restart set in the order they are written:
// "data/" + tag + ".nc" holding variable var.
struct RestartFile {
    const char* tag;
    const char* var;
};
extern const RestartFile kRestartFiles[19];

// A file of the restart set is written under this name in the same
// directory and renamed into place once the whole set is complete.
std::string restart_temp_name(const std::string& path);

// Commits the n files whose temporary files every process has written (ok:
// this process's calls all succeeded): when all agree, the temporary files
// are flushed, the commit is recorded in the journal and process 0 moves
// them into place; otherwise they are removed and "<what> not saved: the
// previous files are kept" is printed. With hooks the save's test halt
// points are live. Collective.
void commit_files(Ctx& c, const std::string* paths, int n, bool ok, const char* what, bool hooks);

// The files of one restart save: "data/rerun.nc" and the 19 per-field files.
// Halt points of a save (HALOCLINE_SAVE_HALT, for tests): 1..20 after each
// file is written, 21 when all are flushed, 22 with the journal written up to
// its "end" line, 23 with the journal whole, 24..43 after each rename.
constexpr int kSaveFiles = 20;
void save_point(Ctx& c, int point);

// Moves an existing file or directory aside to path + ".1" (".2", ... the
// first free name) with one line on standard output; false (and said) when
// it cannot be moved. Process 0 only.
bool keep_earlier(const std::string& path);

// An integer with leading zeros in at least w columns, wider when it needs more.
std::string zero_padded(long long v, int w);

// The history file that closes a period at year iyear, day iday.
std::string hist_name(i32 iyear, i32 iday);

// Save decisions of step itf: every noutd days of nday steps and at the last
// step mxit (no period when nday < 1), the backup every 30 years.
bool save_due(i32 itf, i32 noutd, i32 nday, i32 mxit);
bool backup_due(i32 itf, i32 nday);
// The backup directory of number yyy ("opt030") and its two shell commands
// into c.sys1, c.sys2.
std::string backup_dir(i32 yyy);
void backup_commands(Ctx& c, i32 yyy);

// Everything restart does at the end of a step except ending the process:
// returns true when the run is over (itf >= mxit).
bool save_control(Ctx& c);

}  // namespace hc
