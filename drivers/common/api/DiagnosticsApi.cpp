#include "drivers/common/api/DiagnosticsApi.h"

#include <cstring>

#include "drivers/common/api/EntryGuard.h"
#include "drivers/common/values/WideText.h"

namespace odbcdrv {

namespace {

// "ISO 9075" for the classes the SQL standard defines, "ODBC 3.0" for ODBC's own.
const char* ClassOrigin(const std::string& s) {
    return s.compare(0, 2, "HY") == 0 || s.compare(0, 2, "IM") == 0 ? "ODBC 3.0" : "ISO 9075";
}

const char* SubclassOrigin(const std::string& s) {
    static const char* odbc[] = {"01S", "07S", "08S", "21S", "25S", "42S", "HY", "IM", "HYT"};
    for (const char* p : odbc)
        if (s.compare(0, std::strlen(p), p) == 0) return "ODBC 3.0";
    return "ISO 9075";
}

void PutState(const std::string& state, SQLPOINTER out, TextForm form) {
    if (!out) return;
    if (form == TextForm::Narrow) {
        std::memcpy(out, state.c_str(), 6);
        return;
    }
    auto* w = static_cast<SQLWCHAR*>(out);
    for (size_t i = 0; i < 6; ++i) w[i] = i < state.size() ? static_cast<SQLWCHAR>(state[i]) : 0;
}

// A message in the form asked. The narrow functions give it in the
// application's character set. The driver manager reads the diagnostics of a
// narrow application through the wide functions and narrows them into the
// character set of its locale: as UTF-16 for a UTF-8 locale, and otherwise
// each byte of the application's text as the code unit of its value, which
// it narrows unit by unit (see BytesToWide).
template <class LenT>
SQLRETURN PutMessage(const Handle& h, const std::string& message, SQLPOINTER out,
                     SQLLEN bufferLength, LenT* outLength, TextForm form) {
    Diagnostics scratch;  // a cut message is not itself a diagnostic
    if (form == TextForm::Narrow)
        return CopyOut(message, out, bufferLength, outLength, scratch, h.NarrowForm());
    const ClientCharset& charset = h.Charset();
    std::u16string text = h.OpenedWide() || charset.LocaleUtf8()
                              ? ToWide(message)
                              : BytesToWide(charset.ToClient(message));
    return CopyOutWide(text, out, bufferLength, outLength, scratch, form);
}

}  // namespace

SQLRETURN GetDiagRec(SQLSMALLINT type, SQLHANDLE h, SQLSMALLINT record, SQLPOINTER sqlstate,
                     SQLINTEGER* native, SQLPOINTER message, SQLSMALLINT bufferLength,
                     SQLSMALLINT* textLength, TextForm form) {
    const HandleRegistry::Lease lease = HandleRegistry::Use(h, type);
    if (!lease) return SQL_INVALID_HANDLE;
    Handle* handle = lease.get();
    if (record < 1 || bufferLength < 0) return SQL_ERROR;
    try {
        DiagRecord r;
        if (!handle->diag.Get(static_cast<size_t>(record), r)) return SQL_NO_DATA;
        PutState(r.sqlstate, sqlstate, form);
        if (native) *native = r.native;
        return PutMessage(*handle, r.message, message, bufferLength, textLength, form);
    } catch (...) {
        return SQL_ERROR;
    }
}

SQLRETURN GetDiagField(SQLSMALLINT type, SQLHANDLE h, SQLSMALLINT record, SQLSMALLINT field,
                       SQLPOINTER info, SQLSMALLINT bufferLength, SQLSMALLINT* stringLength,
                       TextForm form) {
    const HandleRegistry::Lease lease = HandleRegistry::Use(h, type);
    if (!lease) return SQL_INVALID_HANDLE;
    Handle* handle = lease.get();
    Diagnostics scratch;
    const Diagnostics& d = handle->diag;
    auto text = [&](const std::string& s) {
        return CopyOut(s, info, bufferLength, stringLength, scratch, form);
    };
    try {
        switch (field) {
            case SQL_DIAG_NUMBER:
                if (info) *static_cast<SQLINTEGER*>(info) = static_cast<SQLINTEGER>(d.Count());
                return SQL_SUCCESS;
            case SQL_DIAG_RETURNCODE:
                if (info) *static_cast<SQLRETURN*>(info) = d.LastReturn();
                return SQL_SUCCESS;
            case SQL_DIAG_ROW_COUNT:
            case SQL_DIAG_CURSOR_ROW_COUNT: {
                if (type != SQL_HANDLE_STMT) return SQL_ERROR;
                SQLLEN n = 0;
                if (field == SQL_DIAG_ROW_COUNT) static_cast<StmtHandle*>(handle)->RowCount(&n);
                if (info) *static_cast<SQLLEN*>(info) = n;
                return SQL_SUCCESS;
            }
            case SQL_DIAG_DYNAMIC_FUNCTION:
                return text(std::string());
            case SQL_DIAG_DYNAMIC_FUNCTION_CODE:
                if (info) *static_cast<SQLINTEGER*>(info) = SQL_DIAG_UNKNOWN_STATEMENT;
                return SQL_SUCCESS;
            default:
                break;
        }
        if (record < 1) return SQL_ERROR;
        DiagRecord r;
        if (!d.Get(static_cast<size_t>(record), r)) return SQL_NO_DATA;
        switch (field) {
            case SQL_DIAG_SQLSTATE:
                return text(r.sqlstate);
            case SQL_DIAG_MESSAGE_TEXT:
                return PutMessage(*handle, r.message, info, bufferLength, stringLength, form);
            case SQL_DIAG_NATIVE:
                if (info) *static_cast<SQLINTEGER*>(info) = r.native;
                return SQL_SUCCESS;
            case SQL_DIAG_CLASS_ORIGIN:
                return text(ClassOrigin(r.sqlstate));
            case SQL_DIAG_SUBCLASS_ORIGIN:
                return text(SubclassOrigin(r.sqlstate));
            case SQL_DIAG_CONNECTION_NAME:
            case SQL_DIAG_SERVER_NAME:
                return text(std::string());
            case SQL_DIAG_COLUMN_NUMBER:
                if (info) *static_cast<SQLINTEGER*>(info) = SQL_NO_COLUMN_NUMBER;
                return SQL_SUCCESS;
            case SQL_DIAG_ROW_NUMBER:
                if (info) *static_cast<SQLLEN*>(info) = SQL_NO_ROW_NUMBER;
                return SQL_SUCCESS;
            default:
                return SQL_ERROR;
        }
    } catch (...) {
        return SQL_ERROR;
    }
}

SQLRETURN Error(SQLHENV env, SQLHDBC dbc, SQLHSTMT stmt, SQLPOINTER sqlstate, SQLINTEGER* native,
                SQLPOINTER message, SQLSMALLINT bufferLength, SQLSMALLINT* textLength,
                TextForm form) {
    const HandleRegistry::Lease lease = stmt  ? HandleRegistry::Use(stmt, SQL_HANDLE_STMT)
                                        : dbc ? HandleRegistry::Use(dbc, SQL_HANDLE_DBC)
                                              : HandleRegistry::Use(env, SQL_HANDLE_ENV);
    if (!lease) return SQL_INVALID_HANDLE;
    Handle* h = lease.get();
    try {
        DiagRecord r;
        if (!h->diag.NextForSQLError(r)) return SQL_NO_DATA;
        PutState(r.sqlstate, sqlstate, form);
        if (native) *native = r.native;
        return PutMessage(*h, r.message, message, bufferLength, textLength, form);
    } catch (...) {
        return SQL_ERROR;
    }
}

}  // namespace odbcdrv
