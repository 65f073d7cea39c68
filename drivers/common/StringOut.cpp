#include "common/StringOut.h"

#include <algorithm>
#include <cstring>

#include "common/SqlStates.h"
#include "common/WideText.h"

namespace odbcdrv {

namespace {

// Copies `count` units of `unit` bytes each, cut to the buffer's room.
template <class LenT>
SQLRETURN Copy(const void* data, size_t count, size_t unit, SQLPOINTER buffer, SQLLEN bufferUnits,
               LenT* outLength, LenT reportedLength, Diagnostics& diag) {
    if (outLength) *outLength = reportedLength;
    if (!buffer) return SQL_SUCCESS;
    if (bufferUnits <= 0) {
        if (count == 0 && bufferUnits == 0) return SQL_SUCCESS;
        diag.Add(state::kTruncated);
        return SQL_SUCCESS_WITH_INFO;
    }
    size_t n = std::min(count, static_cast<size_t>(bufferUnits) - 1);
    std::memcpy(buffer, data, n * unit);
    std::memset(static_cast<char*>(buffer) + n * unit, 0, unit);
    if (n < count) {
        diag.Add(state::kTruncated);
        return SQL_SUCCESS_WITH_INFO;
    }
    return SQL_SUCCESS;
}

}  // namespace

template <class LenT>
SQLRETURN CopyOut(const std::string& s, SQLPOINTER buffer, SQLLEN bufferLength, LenT* outLength,
                  Diagnostics& diag, TextForm form) {
    if (form != TextForm::Narrow)
        return CopyOutWide(ToWide(s), buffer, bufferLength, outLength, diag, form);
    return Copy(s.data(), s.size(), 1, buffer, bufferLength, outLength, static_cast<LenT>(s.size()),
                diag);
}

template <class LenT>
SQLRETURN CopyOutWide(const std::u16string& s, SQLPOINTER buffer, SQLLEN bufferLength,
                      LenT* outLength, Diagnostics& diag, TextForm form) {
    static_assert(sizeof(SQLWCHAR) == sizeof(char16_t));
    bool bytes = form == TextForm::WideBytes;
    // A byte length names whole characters only; an odd last byte stays unused.
    SQLLEN units = bytes ? bufferLength / 2 : bufferLength;
    auto reported = static_cast<LenT>(bytes ? s.size() * 2 : s.size());
    return Copy(s.data(), s.size(), 2, buffer, units, outLength, reported, diag);
}

template SQLRETURN CopyOut<SQLSMALLINT>(const std::string&, SQLPOINTER, SQLLEN, SQLSMALLINT*,
                                        Diagnostics&, TextForm);
template SQLRETURN CopyOut<SQLINTEGER>(const std::string&, SQLPOINTER, SQLLEN, SQLINTEGER*,
                                       Diagnostics&, TextForm);
template SQLRETURN CopyOut<SQLLEN>(const std::string&, SQLPOINTER, SQLLEN, SQLLEN*, Diagnostics&,
                                   TextForm);
template SQLRETURN CopyOutWide<SQLSMALLINT>(const std::u16string&, SQLPOINTER, SQLLEN, SQLSMALLINT*,
                                            Diagnostics&, TextForm);
template SQLRETURN CopyOutWide<SQLINTEGER>(const std::u16string&, SQLPOINTER, SQLLEN, SQLINTEGER*,
                                           Diagnostics&, TextForm);

}  // namespace odbcdrv
