#include "common/StringOut.h"

#include <algorithm>
#include <cstring>

#include "common/SqlStates.h"

namespace odbcdrv {

template <class LenT>
SQLRETURN CopyOut(const std::string& s, SQLPOINTER buffer, SQLLEN bufferLength, LenT* outLength,
                  Diagnostics& diag) {
    if (outLength) *outLength = static_cast<LenT>(s.size());
    if (!buffer) return SQL_SUCCESS;
    if (bufferLength <= 0) {
        if (s.empty() && bufferLength == 0) return SQL_SUCCESS;
        diag.Add(state::kTruncated);
        return SQL_SUCCESS_WITH_INFO;
    }
    size_t n = std::min(s.size(), static_cast<size_t>(bufferLength) - 1);
    std::memcpy(buffer, s.data(), n);
    static_cast<char*>(buffer)[n] = '\0';
    if (n < s.size()) {
        diag.Add(state::kTruncated);
        return SQL_SUCCESS_WITH_INFO;
    }
    return SQL_SUCCESS;
}

template SQLRETURN CopyOut<SQLSMALLINT>(const std::string&, SQLPOINTER, SQLLEN, SQLSMALLINT*,
                                        Diagnostics&);
template SQLRETURN CopyOut<SQLINTEGER>(const std::string&, SQLPOINTER, SQLLEN, SQLINTEGER*,
                                       Diagnostics&);
template SQLRETURN CopyOut<SQLLEN>(const std::string&, SQLPOINTER, SQLLEN, SQLLEN*, Diagnostics&);

}  // namespace odbcdrv
