// The process-wide buffer into which column values are read with
// ODBCStmt::GetColumnData, so that no read allocates.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

constexpr size_t ValueBufferSize = 64000;
extern char ValueBuffer[ValueBufferSize];

// The first four bytes of the buffer as a 32-bit integer (an integer column
// read in its default C type; the low half of an 8-byte value).
inline int32_t ValueBufferInt() {
    int32_t v;
    std::memcpy(&v, ValueBuffer, sizeof v);
    return v;
}
