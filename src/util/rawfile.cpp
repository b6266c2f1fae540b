#include "util/rawfile.hpp"

#include <cstdint>
#include <cstdio>

namespace hc {

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "raw records are little-endian");

bool write_raw_record(const std::string& name, const RawPart* parts, int nparts) {
    std::uint64_t total = 0;
    for (int n = 0; n < nparts; ++n) total += parts[n].bytes;
    std::uint32_t len = static_cast<std::uint32_t>(total);
    std::FILE* f = std::fopen(name.c_str(), "wb");
    if (!f) return false;
    bool ok = std::fwrite(&len, 4, 1, f) == 1;
    for (int n = 0; n < nparts && ok; ++n) ok = std::fwrite(parts[n].data, 1, parts[n].bytes, f) == parts[n].bytes;
    ok = ok && std::fwrite(&len, 4, 1, f) == 1;
    return std::fclose(f) == 0 && ok;
}

}  // namespace hc
