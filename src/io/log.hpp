// The per-process log "data/glo" + tile name, open for the whole run.
#pragma once

#include <string>

#include "var/state.hpp"

namespace hc {

// Opens the per-process log (created, or its contents replaced).
void init_io(Ctx& c);
// Writes one line (the newline added) to the per-process log.
void log_line(Ctx& c, const std::string& line);
// Flushes the per-process log.
void log_flush(Ctx& c);

}  // namespace hc
