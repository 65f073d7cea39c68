// Parses an ODBC connection string ("KEY=value;KEY={value with ;}") into
// ConnectKeys: keys trimmed and upper-cased, braces removed from values ("}}"
// inside braces stands for one "}"). A key given twice keeps its first value.
#pragma once

#include "drivers/common/base/Backend.h"

namespace odbcdrv {

ConnectKeys ParseConnectString(const std::string& text);

// The keys of a data source as the ODBC configuration defines them (the
// user's and the system's odbc.ini, as the driver manager finds them), keys
// upper-cased. Empty when no such data source exists.
ConnectKeys DataSourceKeys(const std::string& dsn);

}  // namespace odbcdrv
