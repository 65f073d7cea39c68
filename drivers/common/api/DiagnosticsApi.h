// SQLGetDiagRec, SQLGetDiagField and SQLError, for the narrow and the wide
// entry points alike. They do not go through Guard: reading diagnostics must
// not clear them.
#pragma once

#include "drivers/common/values/StringOut.h"

namespace odbcdrv {

SQLRETURN GetDiagRec(SQLSMALLINT type, SQLHANDLE h, SQLSMALLINT record, SQLPOINTER sqlstate,
                     SQLINTEGER* native, SQLPOINTER message, SQLSMALLINT bufferLength,
                     SQLSMALLINT* textLength, TextForm form);
SQLRETURN GetDiagField(SQLSMALLINT type, SQLHANDLE h, SQLSMALLINT record, SQLSMALLINT field,
                       SQLPOINTER info, SQLSMALLINT bufferLength, SQLSMALLINT* stringLength,
                       TextForm form);
SQLRETURN Error(SQLHENV env, SQLHDBC dbc, SQLHSTMT stmt, SQLPOINTER sqlstate, SQLINTEGER* native,
                SQLPOINTER message, SQLSMALLINT bufferLength, SQLSMALLINT* textLength,
                TextForm form);

}  // namespace odbcdrv
