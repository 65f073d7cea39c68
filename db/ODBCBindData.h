// One buffer streamed to the driver when a statement asks for data at
// execution; its address is the token SQLParamData returns for it.
#pragma once

#include <vector>

struct ODBCBindData {
    std::vector<char> data;
};
