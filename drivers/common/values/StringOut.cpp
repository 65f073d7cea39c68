#include "drivers/common/values/StringOut.h"

#include <algorithm>
#include <cstring>

#include "core/Cp1252.h"
#include "drivers/common/base/SqlStates.h"
#include "drivers/common/values/WideText.h"

namespace odbcdrv {

namespace {

// Copies `count` units of `unit` bytes each, cut to the buffer's room.
// With `utf8`, a cut falls before a character, not inside it.
template <class LenT>
SQLRETURN Copy(const void* data, size_t count, size_t unit, SQLPOINTER buffer, SQLLEN bufferUnits,
               LenT* outLength, LenT reportedLength, Diagnostics& diag, bool utf8 = false) {
    if (outLength) *outLength = reportedLength;
    if (!buffer) return SQL_SUCCESS;
    if (bufferUnits <= 0) {
        if (count == 0 && bufferUnits == 0) return SQL_SUCCESS;
        diag.Add(state::kTruncated);
        return SQL_SUCCESS_WITH_INFO;
    }
    size_t n = std::min(count, static_cast<size_t>(bufferUnits) - 1);
    if (utf8 && n < count)
        while (n > 0 && (static_cast<const unsigned char*>(data)[n] & 0xC0) == 0x80) --n;
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
    if (form == TextForm::NarrowUtf8) {
        const std::string u = cp1252::ToUtf8(s);
        return Copy(u.data(), u.size(), 1, buffer, bufferLength, outLength,
                    static_cast<LenT>(u.size()), diag, true);
    }
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
