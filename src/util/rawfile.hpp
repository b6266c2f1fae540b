// Raw record files: one record framed by its length in bytes as a 32-bit
// little-endian integer before and after it.
#pragma once

#include <cstddef>
#include <string>

namespace hc {

struct RawPart {
    const void* data;
    std::size_t bytes;
};

// Creates or replaces the file and writes one record made of the parts in
// order. Returns false when the file cannot be written.
bool write_raw_record(const std::string& name, const RawPart* parts, int nparts);

}  // namespace hc
