#include "io/io.hpp"

namespace hc {


}  // namespace hc
