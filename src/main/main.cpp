// The model: started without arguments as 24 MPI processes in a run directory.
#include <cstdlib>

#include "main/model.hpp"

int main() {
    hc::set_fp_mode();
    hc::Ctx* c = hc::make_ctx();
    hc::init(*c);
    hc::run(*c);
    hc::finalize(*c);
    std::exit(0);
}
