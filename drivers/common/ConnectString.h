// Parses an ODBC connection string ("KEY=value;KEY={value with ;}") into
// ConnectKeys: keys trimmed and upper-cased, braces removed from values ("}}"
// inside braces stands for one "}"). A key given twice keeps its first value.
#pragma once

#include "common/Backend.h"

namespace odbcdrv {

ConnectKeys ParseConnectString(const std::string& text);

}  // namespace odbcdrv
