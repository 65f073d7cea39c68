#include "drivers/common/handles/ParameterBindings.h"

#include <cstring>

#include "drivers/common/base/SqlStates.h"
#include "drivers/common/values/ParamConverter.h"
#include "drivers/common/values/TypeInfo.h"

namespace odbcdrv {

namespace {

bool KnownSqlType(SQLSMALLINT t) {
    switch (t) {
        case SQL_CHAR:
        case SQL_VARCHAR:
        case SQL_LONGVARCHAR:
        case SQL_WCHAR:
        case SQL_WVARCHAR:
        case SQL_WLONGVARCHAR:
        case SQL_BINARY:
        case SQL_VARBINARY:
        case SQL_LONGVARBINARY:
        case SQL_BIT:
        case SQL_TINYINT:
        case SQL_SMALLINT:
        case SQL_INTEGER:
        case SQL_BIGINT:
        case SQL_REAL:
        case SQL_FLOAT:
        case SQL_DOUBLE:
        case SQL_NUMERIC:
        case SQL_DECIMAL:
        case SQL_TYPE_DATE:
        case SQL_TYPE_TIME:
        case SQL_TYPE_TIMESTAMP:
        case SQL_DATE:
        case SQL_TIME:
        case SQL_TIMESTAMP:
        case SQL_UNKNOWN_TYPE:
            return true;
        default:
            return false;
    }
}

size_t WideLength(const SQLWCHAR* s) {
    size_t n = 0;
    while (s[n]) ++n;
    return n;
}

}  // namespace

void ParameterBindings::Bind(SQLUSMALLINT number, SQLSMALLINT ioType, SQLSMALLINT cType,
                             SQLSMALLINT sqlType, SQLULEN columnSize, SQLSMALLINT decimalDigits,
                             SQLPOINTER value, SQLLEN bufferLength, SQLLEN* indicator) {
    if (number < 1) throw DriverError(state::kInvalidDescriptorIndex, StateText("07009"));
    if (ioType != SQL_PARAM_INPUT)
        throw DriverError(state::kNotImplemented,
                          "Only input parameters are supported: the engine's procedures "
                          "return their results as rows.");
    if (!KnownSqlType(sqlType)) throw DriverError(state::kInvalidSqlType, StateText("HY004"));
    if (cType == SQL_C_DEFAULT) cType = DefaultCType(sqlType, false);
    if (ParamConverter::FixedSize(cType) < 0)
        throw DriverError(state::kInvalidCType, StateText("HY003"));
    if (bufferLength < 0) throw DriverError(state::kInvalidBufferLength, StateText("HY090"));
    if (params_.size() < number) params_.resize(number);
    params_[number - 1] = ParamBinding{true,          cType, sqlType,      columnSize,
                                       decimalDigits, value, bufferLength, indicator};
}

bool ParameterBindings::Any() const {
    for (const ParamBinding& p : params_)
        if (p.bound) return true;
    return false;
}

size_t ParameterBindings::BoundCount() const {
    size_t n = 0;
    while (n < params_.size() && params_[n].bound) ++n;
    return n;
}

const void* ParameterBindings::ValueAddress(size_t i, SQLULEN row) const {
    const ParamBinding& p = params_.at(i);
    if (!p.value) return nullptr;
    SQLULEN stride = bindType;
    if (bindType == SQL_PARAM_BIND_BY_COLUMN) {
        SQLLEN fixed = ParamConverter::FixedSize(p.cType);
        stride = static_cast<SQLULEN>(fixed > 0 ? fixed : p.bufferLength);
    }
    const char* base = static_cast<const char*>(p.value);
    if (bindOffset) base += *bindOffset;
    return base + row * stride;
}

SQLLEN* ParameterBindings::IndicatorAddress(size_t i, SQLULEN row) const {
    const ParamBinding& p = params_.at(i);
    if (!p.indicator) return nullptr;
    SQLULEN stride = bindType == SQL_PARAM_BIND_BY_COLUMN ? sizeof(SQLLEN) : bindType;
    char* base = reinterpret_cast<char*>(p.indicator);
    if (bindOffset) base += *bindOffset;
    return reinterpret_cast<SQLLEN*>(base + row * stride);
}

std::optional<Value> ParameterBindings::Read(size_t i, SQLULEN row,
                                             const ClientCharset& charset) const {
    const ParamBinding& p = params_.at(i);
    const SQLLEN* ind = IndicatorAddress(i, row);
    SQLLEN n = ind ? *ind : SQL_NTS;
    if (n == SQL_NULL_DATA || n == SQL_DEFAULT_PARAM) return Value::Null();
    if (n == SQL_DATA_AT_EXEC || n <= SQL_LEN_DATA_AT_EXEC_OFFSET) return std::nullopt;
    const void* data = ValueAddress(i, row);
    if (!data) throw DriverError(state::kInvalidNullPointer, StateText("HY009"));
    SQLLEN length = 0;
    if (ParamConverter::IsVariable(p.cType)) {
        if (n == SQL_NTS) {
            if (p.cType == SQL_C_CHAR)
                length = static_cast<SQLLEN>(std::strlen(static_cast<const char*>(data)));
            else if (p.cType == SQL_C_WCHAR)
                length = static_cast<SQLLEN>(WideLength(static_cast<const SQLWCHAR*>(data)) * 2);
            else
                length = p.bufferLength;
        } else if (n >= 0) {
            length = n;
        } else {
            throw DriverError(state::kInvalidBufferLength, StateText("HY090"));
        }
    }
    return ParamConverter::Convert(p.cType, p.sqlType, data, length, charset);
}

Value ParameterBindings::FromPieces(size_t i, const std::string& bytes, bool isNull,
                                    const ClientCharset& charset) const {
    const ParamBinding& p = params_.at(i);
    if (isNull) return Value::Null();
    return ParamConverter::Convert(p.cType, p.sqlType, bytes.data(),
                                   static_cast<SQLLEN>(bytes.size()), charset);
}

}  // namespace odbcdrv
