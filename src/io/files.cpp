// How the files the model writes take the place of earlier ones.
//
// The restart set is written under temporary names (".tmp"), flushed, and
// committed through a journal, "data/restart.journal": process 0 writes the
// names of the files it is about to move into place, one a line, then the
// line "end", flushes it, renames the files and removes the journal. A kill
// at any moment therefore leaves either the previous set (no journal, or a
// journal without its "end" line: the temporary files are incomplete and are
// removed) or a complete new one (a whole journal: every temporary file it
// names is whole and the renames are finished). `settle_restart_files` does
// that at start-up and before every save.
//
// History files and backup directories are kept: one that exists already is
// moved aside under the first free numbered name before it is written anew.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

#include "io/io.hpp"
#include "io/nc.hpp"
#include "io/output.hpp"
#include "util/format.hpp"

namespace hc {

namespace {

const char kJournal[] = "data/restart.journal";

bool exists(const std::string& p) {
    struct stat sb;
    return lstat(p.c_str(), &sb) == 0;
}

// A temporary file a save leaves is a plain file; nothing else under its name is touched.
bool plain_file(const std::string& p) {
    struct stat sb;
    return lstat(p.c_str(), &sb) == 0 && S_ISREG(sb.st_mode);
}

// The files a commit may move into place: nothing else is ever renamed or
// removed on the word of a journal.
bool committable(const std::string& p) {
    if (p == "data/rerun.nc" || p == "data/initial.nc") return true;
    for (const RestartFile& f : kRestartFiles)
        if (p == std::string("data/") + f.tag + ".nc") return true;
    return false;
}

// Flushes a file (or directory) to the disk: false when it cannot be opened or flushed.
bool flush_path(const std::string& p) {
    const int fd = open(p.c_str(), O_RDONLY);
    if (fd < 0) return false;
    const bool ok = fsync(fd) == 0;
    return close(fd) == 0 && ok;
}

void say(const std::string& line) { fmt::out(" " + line); }

std::string reason() { return std::strerror(errno); }

// The save pauses on process 0 at the numbered point named by the variable
// HALOCLINE_SAVE_HALT, until the process is killed: so a test can kill a run
// at a known moment of a save. Without the variable nothing happens.
void halt_at(Ctx& c, int point) {
    static const int halt = [] {
        const char* v = std::getenv("HALOCLINE_SAVE_HALT");
        return v ? std::atoi(v) : 0;
    }();
    if (halt <= 0 || point != halt || c.mpicomm.myid != 0) return;
    say("save halted at point " + std::to_string(point));
    for (;;) pause();
}

// Process 0: moves every temporary file of the journal's list into place.
bool move_into_place(const std::string* paths, int n, int first_point, Ctx* hooks) {
    for (int f = 0; f < n; ++f) {
        const std::string tmp = restart_temp_name(paths[f]);
        if (exists(tmp) && std::rename(tmp.c_str(), paths[f].c_str()) != 0) {
            say("cannot move " + tmp + " to " + paths[f] + ": " + reason());
            return false;
        }
        if (hooks) halt_at(*hooks, first_point + f);
    }
    flush_path("data");
    if (std::remove(kJournal) != 0) say("cannot remove " + std::string(kJournal) + ": " + reason());
    flush_path("data");
    return true;
}

// Process 0: records the commit of the n files; false (nothing recorded)
// when the journal cannot be written whole.
bool record(Ctx& c, const std::string* paths, int n, bool hooks) {
    std::FILE* j = std::fopen(kJournal, "w");
    if (!j) return false;
    bool ok = true;
    for (int f = 0; f < n; ++f) ok &= std::fprintf(j, "%s\n", paths[f].c_str()) > 0;
    if (hooks) {
        std::fflush(j);
        halt_at(c, kSaveFiles + 2);
    }
    ok &= std::fputs("end\n", j) >= 0;
    ok &= std::fflush(j) == 0 && fsync(fileno(j)) == 0;
    ok &= std::fclose(j) == 0;
    ok = ok && flush_path("data");
    if (!ok) std::remove(kJournal);
    return ok;
}

void remove_temporaries(const std::string* paths, int n) {
    for (int f = 0; f < n; ++f) std::remove(restart_temp_name(paths[f]).c_str());
}

// Process 0: what an interrupted save left behind, put right.
bool settle_on_root() {
    std::string known[21] = {"data/rerun.nc", "data/initial.nc"};
    for (int f = 0; f < 19; ++f) known[2 + f] = std::string("data/") + kRestartFiles[f].tag + ".nc";

    if (exists(kJournal)) {
        std::ifstream in(kJournal);
        std::string listed[21], line;
        int n = 0;
        bool whole = false, valid = true;
        while (std::getline(in, line)) {
            if (whole) valid = false;  // nothing may follow "end"
            if (line == "end") {
                whole = true;
            } else if (n < 21 && committable(line)) {
                listed[n++] = line;
            } else {
                valid = false;
            }
        }
        in.close();
        if (whole && valid) {
            if (!move_into_place(listed, n, 0, nullptr)) {
                say(std::string("the interrupted save recorded in ") + kJournal +
                    " cannot be completed; the restart files are not usable");
                return false;
            }
            say(std::string("restart files: the interrupted save recorded in ") + kJournal +
                " was completed; the new files are in place");
            return true;
        }
        // A journal cut short records no commit: its save never completed.
        std::remove(kJournal);
    }
    int removed = 0;
    for (const std::string& p : known) {
        const std::string tmp = restart_temp_name(p);
        if (plain_file(tmp) && std::remove(tmp.c_str()) == 0) ++removed;
    }
    if (removed > 0)
        say("restart files: " + std::to_string(removed) +
            " temporary files of an unfinished save removed; the previous files are kept");
    return true;
}

}  // namespace

bool settle_restart_files(Ctx& c) {
    const bool ok = c.mpicomm.myid != 0 || settle_on_root();
    return !nc::any(c, !ok);
}

void commit_files(Ctx& c, const std::string* paths, int n, bool ok, const char* what, bool hooks) {
    auto& m = c.mpicomm;
    bool good = !nc::any(c, !ok);
    if (good) {
        // Every temporary file is flushed to the disk before the commit is
        // recorded, the files spread over the processes.
        bool flushed = true;
        for (int f = m.myid; f < n; f += NPROC) {
            const std::string tmp = restart_temp_name(paths[f]);
            if (!flush_path(tmp)) {
                fmt::out((fmt::Line() << "cannot flush" << tmp << "myid =" << m.myid).str());
                flushed = false;
            }
        }
        good = !nc::any(c, !flushed);
    }
    if (m.myid == 0) {
        if (good && hooks) halt_at(c, kSaveFiles + 1);
        if (!good) {
            remove_temporaries(paths, n);
            say(std::string(what) + " not saved: the previous files are kept");
        } else if (!record(c, paths, n, hooks)) {
            remove_temporaries(paths, n);
            say(std::string(what) + " not saved: cannot record the save in " + kJournal + "; the previous files are kept");
            good = false;
        } else {
            if (hooks) halt_at(c, kSaveFiles + 3);
            if (!move_into_place(paths, n, kSaveFiles + 4, hooks ? &c : nullptr)) {
                say(std::string(what) + " not saved: the files are moved into place from " + kJournal +
                    " at the next save or start");
                good = false;
            }
        }
    }
    MPI_Barrier(m.comm3d);
}

void save_point(Ctx& c, int point) { halt_at(c, point); }

bool keep_earlier(const std::string& path) {
    if (!exists(path)) return true;
    for (int n = 1;; ++n) {
        const std::string aside = path + "." + std::to_string(n);
        if (exists(aside)) continue;
        if (std::rename(path.c_str(), aside.c_str()) != 0) {
            say("cannot move the earlier " + path + " to " + aside + ": " + reason());
            return false;
        }
        say("earlier " + path + " moved to " + aside);
        return true;
    }
}

}  // namespace hc
