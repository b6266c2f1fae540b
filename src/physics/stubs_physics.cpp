#include "physics/physics.hpp"

namespace hc {}  // namespace hc
