#include "drivers/common/handles/EnvHandle.h"

#include "drivers/common/base/SqlStates.h"

namespace odbcdrv {

SQLRETURN EnvHandle::SetAttr(SQLINTEGER attribute, SQLPOINTER value) {
    auto v = static_cast<SQLINTEGER>(reinterpret_cast<SQLLEN>(value));
    switch (attribute) {
        case SQL_ATTR_ODBC_VERSION:
            if (v != SQL_OV_ODBC2 && v != SQL_OV_ODBC3 && v != SQL_OV_ODBC3_80)
                return Fail(state::kInvalidValue);
            odbcVersion_ = v;
            return SQL_SUCCESS;
        case SQL_ATTR_OUTPUT_NTS:
            return v == SQL_TRUE ? SQL_SUCCESS : Fail(state::kNotImplemented);
        case SQL_ATTR_CONNECTION_POOLING:
        case SQL_ATTR_CP_MATCH:
            return SQL_SUCCESS;
        default:
            return Fail(state::kInvalidAttribute);
    }
}

SQLRETURN EnvHandle::GetAttr(SQLINTEGER attribute, SQLPOINTER value, SQLINTEGER* length) {
    SQLINTEGER v;
    switch (attribute) {
        case SQL_ATTR_ODBC_VERSION:
            v = odbcVersion_;
            break;
        case SQL_ATTR_OUTPUT_NTS:
            v = SQL_TRUE;
            break;
        case SQL_ATTR_CONNECTION_POOLING:
            v = SQL_CP_OFF;
            break;
        case SQL_ATTR_CP_MATCH:
            v = SQL_CP_STRICT_MATCH;
            break;
        default:
            return Fail(state::kInvalidAttribute);
    }
    if (value) *static_cast<SQLINTEGER*>(value) = v;
    if (length) *length = sizeof v;
    return SQL_SUCCESS;
}

SQLRETURN EnvHandle::EndTran(SQLSMALLINT) {
    // The driver manager passes SQLEndTran on an environment to each of its
    // connections itself; nothing is pending at this level.
    return SQL_SUCCESS;
}

}  // namespace odbcdrv
