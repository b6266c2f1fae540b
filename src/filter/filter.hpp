// The Robert-Asselin-Williams time filter of the three time levels.
#pragma once

#include "var/state.hpp"

namespace hc {

void modified_filter(Ctx& c);

}  // namespace hc
