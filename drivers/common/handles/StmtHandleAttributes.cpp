// The statement attributes of StmtHandle (SQLSetStmtAttr, SQLGetStmtAttr):
// the cursor's shape, the rowset and parameter arrays with their bindings,
// and the limits of an execution.
#include "drivers/common/base/SqlStates.h"
#include "drivers/common/handles/StmtHandle.h"

namespace odbcdrv {

SQLRETURN StmtHandle::SetAttr(SQLINTEGER attribute, SQLPOINTER value) {
    auto v = static_cast<SQLULEN>(reinterpret_cast<SQLLEN>(value));
    switch (attribute) {
        case SQL_ATTR_CONCURRENCY:
        case SQL_ATTR_CURSOR_TYPE:
        case SQL_ATTR_CURSOR_SCROLLABLE:
        case SQL_ATTR_CURSOR_SENSITIVITY:
        case SQL_ATTR_USE_BOOKMARKS:
        case SQL_ATTR_SIMULATE_CURSOR:
            // They cannot change while a cursor is open.
            if (rows_) return Fail(state::kInvalidCursorState);
            return SetCursorShape(attribute, v);
        case SQL_ATTR_QUERY_TIMEOUT:
            queryTimeout_ = v;
            return SQL_SUCCESS;
        case SQL_ATTR_MAX_ROWS:
            maxRows_ = v;
            return SQL_SUCCESS;
        case SQL_ATTR_MAX_LENGTH:
            maxLength_ = v;
            return SQL_SUCCESS;
        case SQL_ATTR_ROW_ARRAY_SIZE:
            return SetRowsetSize(v, rowArraySize_);
        case SQL_ROWSET_SIZE:
            return SetRowsetSize(v, rowsetSize2_);
        case SQL_ATTR_ROW_BIND_TYPE:
            rowBindType_ = v;
            return SQL_SUCCESS;
        case SQL_ATTR_ROW_BIND_OFFSET_PTR:
            rowBindOffset_ = static_cast<SQLULEN*>(value);
            return SQL_SUCCESS;
        case SQL_ATTR_ROW_OPERATION_PTR:
            rowOperationPtr_ = static_cast<SQLUSMALLINT*>(value);
            return SQL_SUCCESS;
        case SQL_ATTR_PARAMSET_SIZE:
            if (v < 1) return Fail(state::kInvalidValue);
            params_.setSize = v;
            return SQL_SUCCESS;
        case SQL_ATTR_PARAM_BIND_TYPE:
            params_.bindType = v;
            return SQL_SUCCESS;
        case SQL_ATTR_PARAM_BIND_OFFSET_PTR:
            params_.bindOffset = static_cast<SQLULEN*>(value);
            return SQL_SUCCESS;
        case SQL_ATTR_PARAMS_PROCESSED_PTR:
            params_.processed = static_cast<SQLULEN*>(value);
            return SQL_SUCCESS;
        case SQL_ATTR_PARAM_STATUS_PTR:
            params_.statusArray = static_cast<SQLUSMALLINT*>(value);
            return SQL_SUCCESS;
        case SQL_ATTR_PARAM_OPERATION_PTR:
            params_.operationArray = static_cast<SQLUSMALLINT*>(value);
            return SQL_SUCCESS;
        case SQL_ATTR_METADATA_ID:
            metadataId_ = v == SQL_TRUE;
            return SQL_SUCCESS;
        case SQL_ATTR_ROWS_FETCHED_PTR:
            rowsFetchedPtr_ = static_cast<SQLULEN*>(value);
            return SQL_SUCCESS;
        case SQL_ATTR_ROW_STATUS_PTR:
            rowStatusPtr_ = static_cast<SQLUSMALLINT*>(value);
            return SQL_SUCCESS;
        case SQL_ATTR_NOSCAN:
            if (v != SQL_NOSCAN_OFF && v != SQL_NOSCAN_ON) return Fail(state::kInvalidValue);
            noScan_ = v == SQL_NOSCAN_ON;
            return SQL_SUCCESS;
        case SQL_ATTR_RETRIEVE_DATA:
            if (v != SQL_RD_ON && v != SQL_RD_OFF) return Fail(state::kInvalidValue);
            retrieveData_ = v;
            return SQL_SUCCESS;
        case SQL_ATTR_FETCH_BOOKMARK_PTR:
            fetchBookmarkPtr_ = value;
            return SQL_SUCCESS;
        case SQL_ATTR_KEYSET_SIZE:
            keysetSize_ = v;
            return SQL_SUCCESS;
        case SQL_ATTR_ASYNC_ENABLE:
            return v == SQL_ASYNC_ENABLE_OFF ? SQL_SUCCESS : Warn(state::kOptionChanged);
        case SQL_ATTR_ENABLE_AUTO_IPD:
            return v == SQL_FALSE ? SQL_SUCCESS : Warn(state::kOptionChanged);
        default:
            return Fail(state::kInvalidAttribute);
    }
}

SQLRETURN StmtHandle::SetCursorShape(SQLINTEGER attribute, SQLULEN v) {
    switch (attribute) {
        case SQL_ATTR_CONCURRENCY:
            if (v != SQL_CONCUR_READ_ONLY && v != SQL_CONCUR_LOCK && v != SQL_CONCUR_ROWVER &&
                v != SQL_CONCUR_VALUES)
                return Fail(state::kInvalidValue);
            return v == SQL_CONCUR_READ_ONLY ? SQL_SUCCESS : Warn(state::kOptionChanged);
        case SQL_ATTR_CURSOR_TYPE:
            // Keyset-driven and dynamic cursors are served by a static one,
            // as ODBC orders the substitutes.
            if (v != SQL_CURSOR_FORWARD_ONLY && v != SQL_CURSOR_STATIC &&
                v != SQL_CURSOR_KEYSET_DRIVEN && v != SQL_CURSOR_DYNAMIC)
                return Fail(state::kInvalidValue);
            cursorType_ =
                v == SQL_CURSOR_FORWARD_ONLY ? SQL_CURSOR_FORWARD_ONLY : SQL_CURSOR_STATIC;
            return v == cursorType_ ? SQL_SUCCESS : Warn(state::kOptionChanged);
        case SQL_ATTR_CURSOR_SCROLLABLE:
            if (v != SQL_NONSCROLLABLE && v != SQL_SCROLLABLE) return Fail(state::kInvalidValue);
            cursorType_ = v == SQL_SCROLLABLE ? SQL_CURSOR_STATIC : SQL_CURSOR_FORWARD_ONLY;
            return SQL_SUCCESS;
        case SQL_ATTR_CURSOR_SENSITIVITY:
            if (v != SQL_UNSPECIFIED && v != SQL_INSENSITIVE && v != SQL_SENSITIVE)
                return Fail(state::kInvalidValue);
            // Every cursor of the driver is insensitive: a static one when
            // it scrolls.
            if (v == SQL_SENSITIVE) return Fail(state::kNotImplemented);
            sensitivity_ = v;
            return SQL_SUCCESS;
        case SQL_ATTR_USE_BOOKMARKS:
            if (v != SQL_UB_OFF && v != SQL_UB_ON && v != SQL_UB_VARIABLE)
                return Fail(state::kInvalidValue);
            useBookmarks_ = v;
            if (v == SQL_UB_OFF) bookmarkBinding_ = Binding{};
            return SQL_SUCCESS;
        case SQL_ATTR_SIMULATE_CURSOR:
            if (v != SQL_SC_NON_UNIQUE && v != SQL_SC_TRY_UNIQUE && v != SQL_SC_UNIQUE)
                return Fail(state::kInvalidValue);
            simulateCursor_ = v;
            return SQL_SUCCESS;
        default:
            return Fail(state::kInvalidAttribute);
    }
}

SQLRETURN StmtHandle::GetAttr(SQLINTEGER attribute, SQLPOINTER value, SQLINTEGER,
                              SQLINTEGER* length) {
    SQLULEN v;
    switch (attribute) {
        case SQL_ATTR_CONCURRENCY:
            v = SQL_CONCUR_READ_ONLY;
            break;
        case SQL_ATTR_CURSOR_TYPE:
            v = cursorType_;
            break;
        case SQL_ATTR_CURSOR_SCROLLABLE:
            v = cursorType_ == SQL_CURSOR_STATIC ? SQL_SCROLLABLE : SQL_NONSCROLLABLE;
            break;
        case SQL_ATTR_CURSOR_SENSITIVITY:
            v = sensitivity_;
            break;
        case SQL_ATTR_QUERY_TIMEOUT:
            v = queryTimeout_;
            break;
        case SQL_ATTR_MAX_ROWS:
            v = maxRows_;
            break;
        case SQL_ATTR_MAX_LENGTH:
            v = maxLength_;
            break;
        case SQL_ATTR_ROW_ARRAY_SIZE:
            v = rowArraySize_;
            break;
        case SQL_ROWSET_SIZE:
            v = rowsetSize2_;
            break;
        case SQL_ATTR_ROW_BIND_TYPE:
            v = rowBindType_;
            break;
        case SQL_ATTR_ROW_BIND_OFFSET_PTR:
            v = reinterpret_cast<SQLULEN>(rowBindOffset_);
            break;
        case SQL_ATTR_ROW_OPERATION_PTR:
            v = reinterpret_cast<SQLULEN>(rowOperationPtr_);
            break;
        case SQL_ATTR_ROWS_FETCHED_PTR:
            v = reinterpret_cast<SQLULEN>(rowsFetchedPtr_);
            break;
        case SQL_ATTR_ROW_STATUS_PTR:
            v = reinterpret_cast<SQLULEN>(rowStatusPtr_);
            break;
        case SQL_ATTR_PARAMSET_SIZE:
            v = params_.setSize;
            break;
        case SQL_ATTR_PARAM_BIND_TYPE:
            v = params_.bindType;
            break;
        case SQL_ATTR_PARAM_BIND_OFFSET_PTR:
            v = reinterpret_cast<SQLULEN>(params_.bindOffset);
            break;
        case SQL_ATTR_PARAMS_PROCESSED_PTR:
            v = reinterpret_cast<SQLULEN>(params_.processed);
            break;
        case SQL_ATTR_PARAM_STATUS_PTR:
            v = reinterpret_cast<SQLULEN>(params_.statusArray);
            break;
        case SQL_ATTR_PARAM_OPERATION_PTR:
            v = reinterpret_cast<SQLULEN>(params_.operationArray);
            break;
        case SQL_ATTR_METADATA_ID:
            v = metadataId_ ? SQL_TRUE : SQL_FALSE;
            break;
        case SQL_ATTR_ROW_NUMBER:
            // The number of the current row in the result; 0 off a row.
            if (!rows_ || place_ != Place::OnRowset || rowset_.empty())
                return Fail(state::kInvalidCursorState);
            v = rowsetStart_ + pos_ + 1;
            break;
        case SQL_ATTR_NOSCAN:
            v = noScan_ ? SQL_NOSCAN_ON : SQL_NOSCAN_OFF;
            break;
        case SQL_ATTR_RETRIEVE_DATA:
            v = retrieveData_;
            break;
        case SQL_ATTR_USE_BOOKMARKS:
            v = useBookmarks_;
            break;
        case SQL_ATTR_FETCH_BOOKMARK_PTR:
            v = reinterpret_cast<SQLULEN>(fetchBookmarkPtr_);
            break;
        case SQL_ATTR_SIMULATE_CURSOR:
            v = simulateCursor_;
            break;
        case SQL_ATTR_KEYSET_SIZE:
            v = keysetSize_;
            break;
        case SQL_ATTR_ASYNC_ENABLE:
            v = SQL_ASYNC_ENABLE_OFF;
            break;
        case SQL_ATTR_ENABLE_AUTO_IPD:
            v = SQL_FALSE;
            break;
        default:
            return Fail(state::kInvalidAttribute);
    }
    if (value) *static_cast<SQLULEN*>(value) = v;
    if (length) *length = sizeof v;
    return SQL_SUCCESS;
}

}  // namespace odbcdrv
