// The parameters an application bound to a statement (SQLBindParameter) and
// the attributes that lay them out in its memory: one set of values or an
// array of sets (SQL_ATTR_PARAMSET_SIZE), bound by column or by row, with an
// offset added to every address, and the arrays in which the driver reports
// each set's outcome.
#pragma once

#include <optional>
#include <vector>

#include "drivers/common/base/Backend.h"
#include "drivers/common/values/ClientCharset.h"

namespace odbcdrv {

struct ParamBinding {
    bool bound = false;
    SQLSMALLINT cType = SQL_C_DEFAULT;  // SQL_C_DEFAULT already resolved by Bind
    SQLSMALLINT sqlType = SQL_VARCHAR;
    SQLULEN columnSize = 0;
    SQLSMALLINT decimalDigits = 0;
    SQLPOINTER value = nullptr;
    SQLLEN bufferLength = 0;
    SQLLEN* indicator = nullptr;
};

class ParameterBindings {
  public:
    // Binds marker `number` (1-based). Throws DriverError: HY003 for a C type
    // the driver does not take, HY004 for an SQL type it does not know, HYC00
    // for output parameters.
    void Bind(SQLUSMALLINT number, SQLSMALLINT ioType, SQLSMALLINT cType, SQLSMALLINT sqlType,
              SQLULEN columnSize, SQLSMALLINT decimalDigits, SQLPOINTER value, SQLLEN bufferLength,
              SQLLEN* indicator);
    void Clear() { params_.clear(); }
    bool Any() const;
    bool IsBound(size_t i) const { return i < params_.size() && params_[i].bound; }
    size_t BoundCount() const;
    const ParamBinding& At(size_t i) const { return params_.at(i); }

    // Address of parameter i's value in set `row`, offsets applied; null when
    // no buffer is bound.
    const void* ValueAddress(size_t i, SQLULEN row) const;
    // The value of parameter i in set `row`; nullopt when the application
    // gives it at execution time (SQL_DATA_AT_EXEC). Throws DriverError.
    std::optional<Value> Read(size_t i, SQLULEN row, const ClientCharset& charset) const;
    // The value of parameter i from the pieces sent with SQLPutData.
    Value FromPieces(size_t i, const std::string& bytes, bool isNull,
                     const ClientCharset& charset) const;

    // Header attributes of the parameter descriptors.
    SQLULEN setSize = 1;
    SQLULEN bindType = SQL_PARAM_BIND_BY_COLUMN;
    SQLULEN* bindOffset = nullptr;
    SQLUSMALLINT* statusArray = nullptr;
    SQLULEN* processed = nullptr;
    SQLUSMALLINT* operationArray = nullptr;

    // Whether set `row` is to be skipped (SQL_PARAM_IGNORE).
    bool Ignored(SQLULEN row) const {
        return operationArray && operationArray[row] == SQL_PARAM_IGNORE;
    }
    void SetStatus(SQLULEN row, SQLUSMALLINT status) const {
        if (statusArray) statusArray[row] = status;
    }

  private:
    SQLLEN* IndicatorAddress(size_t i, SQLULEN row) const;

    std::vector<ParamBinding> params_;
};

}  // namespace odbcdrv
