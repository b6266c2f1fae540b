#include "filter/filter.hpp"

namespace hc {


}  // namespace hc
