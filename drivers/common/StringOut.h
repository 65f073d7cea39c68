// Copies a text into an application's output buffer the ODBC way: cut to the
// buffer with a terminating zero, the full length in *outLength, and 01004
// with SQL_SUCCESS_WITH_INFO when it was cut.
#pragma once

#include <string>

#include "common/Diagnostics.h"

namespace odbcdrv {

template <class LenT>
SQLRETURN CopyOut(const std::string& s, SQLPOINTER buffer, SQLLEN bufferLength, LenT* outLength,
                  Diagnostics& diag);

}  // namespace odbcdrv
