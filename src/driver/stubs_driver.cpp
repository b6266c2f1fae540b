#include "driver/driver.hpp"

namespace hc {


}  // namespace hc
