// Parameters of StmtHandle: binding, description, and the execution over the
// parameter sets with values sent at execution time (SQLParamData,
// SQLPutData).
#include <cstring>

#include "drivers/common/base/FaultInjector.h"
#include "drivers/common/base/SqlStates.h"
#include "drivers/common/handles/StmtHandle.h"
#include "drivers/common/values/Datetime.h"
#include "drivers/common/values/ParamConverter.h"
#include "drivers/common/values/TypeInfo.h"

namespace odbcdrv {

SQLRETURN StmtHandle::BindParameter(SQLUSMALLINT number, SQLSMALLINT ioType, SQLSMALLINT cType,
                                    SQLSMALLINT sqlType, SQLULEN columnSize,
                                    SQLSMALLINT decimalDigits, SQLPOINTER value,
                                    SQLLEN bufferLength, SQLLEN* indicator) {
    if (pending_) return Fail(state::kSequenceError);
    params_.Bind(number, ioType, cType, sqlType, columnSize, decimalDigits, value, bufferLength,
                 indicator);
    return SQL_SUCCESS;
}

SQLRETURN StmtHandle::NumParams(SQLSMALLINT* count) {
    if (pending_) return Fail(state::kSequenceError);
    if (!count) return SQL_SUCCESS;
    *count = prepared_ ? static_cast<SQLSMALLINT>(prepared_->ParamCount()) : 0;
    return SQL_SUCCESS;
}

SQLRETURN StmtHandle::DescribeParam(SQLUSMALLINT number, SQLSMALLINT* dataType, SQLULEN* size,
                                    SQLSMALLINT* decimalDigits, SQLSMALLINT* nullable) {
    if (pending_ || !prepared_) return Fail(state::kSequenceError);
    if (number < 1 || number > prepared_->ParamCount()) return Fail(state::kInvalidDescriptorIndex);
    ColumnInfo p = prepared_->DescribeParam(number - 1u);
    // A long value has no size an application could allocate ahead: 0 says
    // so, and clients send such values in pieces (pyodbc's fast_executemany
    // would otherwise reserve gigabytes per row).
    if (p.sqlType == SQL_LONGVARCHAR || p.sqlType == SQL_LONGVARBINARY) p.columnSize = 0;
    if (dbc.DescribesWide()) p.sqlType = WideCharType(p.sqlType);
    if (dataType) *dataType = p.sqlType;
    if (size) *size = p.columnSize;
    if (decimalDigits) *decimalDigits = p.decimalDigits;
    if (nullable) *nullable = p.nullable;
    return SQL_SUCCESS;
}

void StmtHandle::DatetimeFromText(size_t i, Value& v) {
    if (v.kind != Value::Kind::Text) return;
    const bool engineReads = TheBackend().EngineReadsDateText();
    size_t b = v.s.find_first_not_of(" \t");
    if (engineReads &&
        (b == std::string::npos || !(v.s[b] == '{' || (v.s[b] >= '0' && v.s[b] <= '9'))))
        return;
    if (markerTypes_.size() != prepared_->ParamCount())
        markerTypes_.assign(prepared_->ParamCount(), -1);
    if (markerTypes_[i] < 0) {
        try {
            markerTypes_[i] = prepared_->DescribeParam(i).sqlType;
        } catch (const DriverError&) {
            markerTypes_[i] = SQL_VARCHAR;
        }
    }
    const auto type = static_cast<SQLSMALLINT>(markerTypes_[i]);
    if (!IsDatetime(type)) return;
    SQL_TIMESTAMP_STRUCT ts{};
    bool hasDate = false, hasTime = false;
    // Another form of the engine's own is the engine's to read.
    if (engineReads && ReadDatetime(v.s, ts, hasDate, hasTime) == DatetimeText::None) return;
    v = ToDatetime(v, type);
}

SQLRETURN StmtHandle::StartExecution() {
    rowCount_ = -1;
    const size_t markers = prepared_->ParamCount();
    for (size_t i = 0; i < markers; ++i)
        if (!params_.IsBound(i)) throw UnboundParameters(markers, params_.BoundCount());
    if (params_.setSize > 1 && !prepared_->Columns().empty())
        return Fail(state::kNotImplemented,
                    "Arrays of parameter sets are taken by statements without a result only.");
    if (FaultInjector::ShouldFail(preparedSql_))
        return Fail(FaultInjector::State(), FaultInjector::Message());
    for (SQLULEN row = 0; row < params_.setSize; ++row) params_.SetStatus(row, SQL_PARAM_UNUSED);
    if (params_.processed) *params_.processed = 0;
    pending_.emplace();
    pending_->markers = markers;
    return ContinueExecution();
}

SQLRETURN StmtHandle::SetFailed(const DriverError& e) {
    Pending& p = *pending_;
    params_.SetStatus(p.row, SQL_PARAM_ERROR);
    if (params_.processed) *params_.processed = p.row + 1;
    rowCount_ = p.rowCount;
    pending_.reset();
    diag.Add(e.sqlstate.size() == 5 ? e.sqlstate : state::kGeneralError, e.message, e.native);
    return SQL_ERROR;
}

// Runs the sets from the current one on. A set whose values are to come at
// execution time stops the run with SQL_NEED_DATA until SQLParamData has
// collected them. The first set that fails ends the execution: the sets
// before it stay executed (each committed on its own under autocommit), the
// ones after it are not run.
SQLRETURN StmtHandle::ContinueExecution() {
    Pending& p = *pending_;
    for (; p.row < params_.setSize; ++p.row, p.valuesReady = false) {
        if (params_.Ignored(p.row)) continue;
        if (!p.valuesReady) {
            p.values.assign(p.markers, Value::Null());
            p.atExecution.clear();
            p.next = 0;
            try {
                for (size_t i = 0; i < p.markers; ++i) {
                    std::optional<Value> v = params_.Read(i, p.row, Charset());
                    if (v)
                        p.values[i] = std::move(*v);
                    else
                        p.atExecution.push_back(i);
                }
            } catch (const DriverError& e) {
                return SetFailed(e);
            }
            p.valuesReady = true;
        }
        if (p.next < p.atExecution.size()) return SQL_NEED_DATA;
        ExecResult r;
        try {
            for (size_t i = 0; i < p.markers; ++i) DatetimeFromText(i, p.values[i]);
            Engine([&] { r = prepared_->Execute(p.values); });
        } catch (const DriverError& e) {
            return SetFailed(e);
        }
        params_.SetStatus(p.row, SQL_PARAM_SUCCESS);
        if (params_.processed) *params_.processed = p.row + 1;
        if (r.rowCount >= 0) p.rowCount = (p.rowCount < 0 ? 0 : p.rowCount) + r.rowCount;
        p.searched = r.searchedUpdateOrDelete;
        if (r.rows) SetResult(std::move(r.rows));
    }
    rowCount_ = p.rowCount;
    const bool nothingChanged = p.searched && p.rowCount == 0 && !rows_;
    pending_.reset();
    return nothingChanged ? SQL_NO_DATA : SQL_SUCCESS;
}

SQLRETURN StmtHandle::ParamData(SQLPOINTER* token) {
    if (!pending_) return Fail(state::kSequenceError);
    Pending& p = *pending_;
    if (p.next >= p.atExecution.size()) return Fail(state::kSequenceError);
    if (p.sending) {
        // The value just sent is complete; a marker without any piece is null.
        try {
            p.values[p.atExecution[p.next]] = params_.FromPieces(
                p.atExecution[p.next], p.pieces, p.piecesNull || !p.piecesSent, Charset());
        } catch (const DriverError& e) {
            return SetFailed(e);
        }
        p.sending = false;
        ++p.next;
    }
    // With this set's values complete it runs, and so do the following sets
    // until one waits for values again: its first one is asked for here.
    if (p.next >= p.atExecution.size()) {
        SQLRETURN rc = ContinueExecution();
        if (rc != SQL_NEED_DATA) return rc;
    }
    Pending& q = *pending_;
    q.sending = true;
    q.pieces.clear();
    q.piecesNull = false;
    q.piecesSent = false;
    if (token) *token = const_cast<void*>(params_.ValueAddress(q.atExecution[q.next], q.row));
    return SQL_NEED_DATA;
}

SQLRETURN StmtHandle::PutData(SQLPOINTER data, SQLLEN length) {
    if (!pending_ || !pending_->sending) return Fail(state::kSequenceError);
    Pending& p = *pending_;
    const ParamBinding& b = params_.At(p.atExecution[p.next]);
    if (length == SQL_NULL_DATA) {
        p.piecesNull = true;
        p.piecesSent = true;
        return SQL_SUCCESS;
    }
    if (!data && length != 0) return Fail(state::kInvalidNullPointer);
    const SQLLEN fixed = ParamConverter::FixedSize(b.cType);
    if (fixed > 0) {
        if (p.piecesSent) return Fail(state::kPiecesOfFixedData);
        p.pieces.assign(static_cast<const char*>(data), static_cast<size_t>(fixed));
    } else {
        size_t n = 0;
        if (length == SQL_NTS && b.cType == SQL_C_CHAR) {
            n = std::strlen(static_cast<const char*>(data));
        } else if (length == SQL_NTS && b.cType == SQL_C_WCHAR) {
            const auto* w = static_cast<const SQLWCHAR*>(data);
            while (w[n]) ++n;
            n *= 2;
        } else if (length >= 0) {
            n = static_cast<size_t>(length);
        } else {
            return Fail(state::kInvalidBufferLength);
        }
        p.pieces.append(static_cast<const char*>(data), n);
    }
    p.piecesSent = true;
    return SQL_SUCCESS;
}

}  // namespace odbcdrv
