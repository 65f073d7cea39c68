// The rowset's values into the application's buffers: the columns bound
// with SQLBindCol, filled row by row (by column or by row, with the bind
// offset added), SQLGetData on the current row of the rowset, and SQLSetPos
// to choose that row or fill the bound columns again.
#include <algorithm>
#include <cstring>

#include "drivers/common/base/SqlStates.h"
#include "drivers/common/handles/StmtHandle.h"
#include "drivers/common/values/ParamConverter.h"
#include "drivers/common/values/TypeInfo.h"

namespace odbcdrv {

namespace {

SQLRETURN Worse(SQLRETURN a, SQLRETURN b) {
    if (a == SQL_ERROR || b == SQL_ERROR) return SQL_ERROR;
    if (a == SQL_SUCCESS_WITH_INFO || b == SQL_SUCCESS_WITH_INFO) return SQL_SUCCESS_WITH_INFO;
    return SQL_SUCCESS;
}

}  // namespace

SQLRETURN StmtHandle::BindCol(SQLUSMALLINT column, SQLSMALLINT cType, SQLPOINTER target,
                              SQLLEN bufferLength, SQLLEN* indicator) {
    if (bufferLength < 0) return Fail(state::kInvalidBufferLength);
    if (column == 0) {
        if (useBookmarks_ == SQL_UB_OFF) return Fail(state::kInvalidDescriptorIndex);
        bookmarkBinding_ = Binding{cType, target, bufferLength, indicator};
        return SQL_SUCCESS;
    }
    if (bindings_.size() < column) bindings_.resize(column);
    bindings_[column - 1] = Binding{cType, target, bufferLength, indicator};
    return SQL_SUCCESS;
}

SQLRETURN StmtHandle::DeliverBound(size_t k, bool& rowWarned) {
    const std::vector<Value>& row = *rowset_[k];
    const SQLULEN offset = rowBindOffset_ ? *rowBindOffset_ : 0;
    const bool byRow = rowBindType_ != SQL_BIND_BY_COLUMN;
    auto place = [&](const Binding& b, SQLSMALLINT cType, char* base, bool indicator) -> char* {
        if (!base) return nullptr;
        SQLULEN stride = rowBindType_;
        if (!byRow) {
            const SQLLEN fixed = ParamConverter::FixedSize(cType);
            stride = indicator ? sizeof(SQLLEN)
                               : static_cast<SQLULEN>(fixed > 0 ? fixed : b.bufferLength);
        }
        return base + offset + k * stride;
    };
    SQLRETURN rc = SQL_SUCCESS;
    if (useBookmarks_ != SQL_UB_OFF && (bookmarkBinding_.target || bookmarkBinding_.indicator)) {
        const SQLUINTEGER mark = Bookmark(k);
        auto* target = place(bookmarkBinding_, SQL_C_ULONG,
                             static_cast<char*>(bookmarkBinding_.target), false);
        auto* ind = reinterpret_cast<SQLLEN*>(
            place(bookmarkBinding_, SQL_C_ULONG,
                  reinterpret_cast<char*>(bookmarkBinding_.indicator), true));
        if (target) std::memcpy(target, &mark, sizeof mark);
        if (ind) *ind = sizeof mark;
    }
    for (size_t i = 0; i < bindings_.size() && i < row.size(); ++i) {
        const Binding& b = bindings_[i];
        if (!b.target && !b.indicator) continue;
        const SQLSMALLINT cType = b.cType == SQL_C_DEFAULT
                                      ? DefaultCType(columns_[i].sqlType, columns_[i].isUnsigned)
                                      : b.cType;
        GetDataState st;
        SQLRETURN r = ValueConverter::Deliver(
            row[i], columns_[i], cType, place(b, cType, static_cast<char*>(b.target), false),
            b.bufferLength,
            reinterpret_cast<SQLLEN*>(place(b, cType, reinterpret_cast<char*>(b.indicator), true)),
            st, diag, Charset(), maxLength_);
        rc = Worse(rc, r);
    }
    rowWarned = rc == SQL_SUCCESS_WITH_INFO;
    return rc;
}

SQLRETURN StmtHandle::DeliverRowset(SQLRETURN rc) {
    pos_ = 0;
    getState_.assign(columns_.size(), GetDataState{});
    const size_t n = RowsetSize();
    bool anyError = false, anyWarning = false;
    for (size_t k = 0; k < rowset_.size(); ++k) {
        bool warned = false;
        SQLRETURN r = retrieveData_ == SQL_RD_ON ? DeliverBound(k, warned) : SQL_SUCCESS;
        if (out_.status)
            out_.status[k] = r == SQL_ERROR ? SQL_ROW_ERROR
                             : warned       ? SQL_ROW_SUCCESS_WITH_INFO
                                            : SQL_ROW_SUCCESS;
        anyError = anyError || r == SQL_ERROR;
        anyWarning = anyWarning || warned;
    }
    if (out_.status)
        std::fill(out_.status + rowset_.size(), out_.status + n, SQLUSMALLINT{SQL_ROW_NOROW});
    if (out_.fetched) *out_.fetched = rowset_.size();
    // With one row to the rowset its error is the call's; in a larger
    // rowset the status array tells the rows apart.
    if (anyError) return n == 1 ? SQL_ERROR : SQL_SUCCESS_WITH_INFO;
    return anyWarning ? SQL_SUCCESS_WITH_INFO : rc;
}

SQLRETURN StmtHandle::GetData(SQLUSMALLINT column, SQLSMALLINT cType, SQLPOINTER target,
                              SQLLEN bufferLength, SQLLEN* indicator) {
    if (pending_) return Fail(state::kSequenceError);
    if (!rows_ || place_ != Place::OnRowset || rowset_.empty())
        return Fail(state::kInvalidCursorState);
    if (column == 0) {
        if (useBookmarks_ == SQL_UB_OFF) return Fail(state::kInvalidDescriptorIndex);
        if (!target) return Fail(state::kInvalidNullPointer);
        const SQLUINTEGER mark = Bookmark(pos_);
        if (cType == SQL_C_VARBOOKMARK && bufferLength < static_cast<SQLLEN>(sizeof mark))
            return Fail(state::kInvalidBufferLength);
        std::memcpy(target, &mark, sizeof mark);
        if (indicator) *indicator = sizeof mark;
        return SQL_SUCCESS;
    }
    const ColumnInfo* col = Column(column);
    if (!col) return SQL_ERROR;
    // Reading another column starts the pieces of this one afresh.
    for (size_t i = 0; i < getState_.size(); ++i)
        if (i != column - 1u) getState_[i] = GetDataState{};
    return ValueConverter::Deliver(CurrentRow()[column - 1], *col, cType, target, bufferLength,
                                   indicator, getState_[column - 1], diag, Charset(), maxLength_);
}

SQLRETURN StmtHandle::SetPos(SQLSETPOSIROW row, SQLUSMALLINT operation, SQLUSMALLINT lock) {
    if (pending_) return Fail(state::kSequenceError);
    if (!rows_ || place_ != Place::OnRowset || rowset_.empty())
        return Fail(state::kInvalidCursorState);
    if (operation != SQL_POSITION && operation != SQL_REFRESH && operation != SQL_UPDATE &&
        operation != SQL_DELETE && operation != SQL_ADD)
        return Fail(state::kInvalidAttribute);
    if (lock != SQL_LOCK_NO_CHANGE && lock != SQL_LOCK_EXCLUSIVE && lock != SQL_LOCK_UNLOCK)
        return Fail(state::kInvalidAttribute);
    // The cursor is read-only: it positions and refreshes, nothing else.
    if (operation != SQL_POSITION && operation != SQL_REFRESH)
        return Fail(state::kNotImplemented,
                    "Optional feature not implemented: the cursor is read-only.");
    if (lock != SQL_LOCK_NO_CHANGE) return Fail(state::kNotImplemented);
    if (row > rowset_.size()) return Fail(state::kRowOutOfRange);
    if (row == 0 && operation == SQL_POSITION) return Fail(state::kInvalidCursorPosition);
    if (operation == SQL_REFRESH) {
        // A static cursor's rows are what they were: the bound columns get
        // them again.
        SQLRETURN rc = SQL_SUCCESS;
        for (size_t k = 0; k < rowset_.size(); ++k) {
            if (row != 0 && k != row - 1) continue;
            bool warned = false;
            SQLRETURN r = DeliverBound(k, warned);
            if (out_.status)
                out_.status[k] = r == SQL_ERROR ? SQL_ROW_ERROR
                                 : warned       ? SQL_ROW_SUCCESS_WITH_INFO
                                                : SQL_ROW_SUCCESS;
            rc = Worse(rc, r);
        }
        if (rc != SQL_SUCCESS) return rc;
    }
    pos_ = row == 0 ? 0 : row - 1;
    getState_.assign(columns_.size(), GetDataState{});
    return SQL_SUCCESS;
}

}  // namespace odbcdrv
