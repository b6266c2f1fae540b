#include "filter/filter.hpp"

namespace hc {

void modified_filter(Ctx&) {}

}  // namespace hc
