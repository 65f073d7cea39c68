// The cursor of StmtHandle: rowsets of SQL_ATTR_ROW_ARRAY_SIZE rows fetched
// into the bound columns (by column or by row, with the bind offset added),
// SQLGetData on one row of the rowset, and SQLSetPos to choose that row.
//
// A forward-only cursor reads the engine's rows as it goes. A static cursor
// (SQL_CURSOR_STATIC, also what keyset-driven and dynamic cursors become)
// keeps the rows it has read, so that SQLFetchScroll can move to any of them;
// it keeps at most kCacheBudget bytes of rows, the last ones read, and
// refuses to move back to a row it no longer holds.
#include <algorithm>
#include <climits>
#include <cstring>

#include "drivers/common/base/SqlStates.h"
#include "drivers/common/handles/StmtHandle.h"
#include "drivers/common/values/ParamConverter.h"
#include "drivers/common/values/TypeInfo.h"

namespace odbcdrv {

namespace {

constexpr size_t kCacheBudget = size_t{64} << 20;

size_t RowBytes(const std::vector<Value>& row) {
    size_t n = sizeof(Value) * row.size();
    for (const Value& v : row) n += v.s.capacity();
    return n;
}

SQLRETURN Worse(SQLRETURN a, SQLRETURN b) {
    if (a == SQL_ERROR || b == SQL_ERROR) return SQL_ERROR;
    if (a == SQL_SUCCESS_WITH_INFO || b == SQL_SUCCESS_WITH_INFO) return SQL_SUCCESS_WITH_INFO;
    return SQL_SUCCESS;
}

}  // namespace

bool StmtHandle::ReadEngineRow(std::vector<Value>& row) {
    if (engineDone_) return false;
    if (maxRows_ > 0 && fetched_ >= maxRows_) {
        engineDone_ = true;
        return false;
    }
    bool got = false;
    Engine([&] { got = rows_->Next(row); });
    if (!got) {
        engineDone_ = true;
        return false;
    }
    ++fetched_;
    return true;
}

bool StmtHandle::Cache(size_t index) {
    while (cacheFirst_ + cache_.size() <= index) {
        std::vector<Value> row;
        if (!ReadEngineRow(row)) return false;
        cacheBytes_ += RowBytes(row);
        cache_.push_back(std::move(row));
        // The rows read last stay, at least a rowset of them.
        while (cacheBytes_ > kCacheBudget && cache_.size() > RowsetSize()) {
            cacheBytes_ -= RowBytes(cache_.front());
            cache_.pop_front();
            ++cacheFirst_;
        }
    }
    return true;
}

size_t StmtHandle::CacheAll() {
    while (Cache(cacheFirst_ + cache_.size())) {
    }
    return cacheFirst_ + cache_.size();
}

const std::vector<Value>& StmtHandle::Cached(size_t index) const {
    if (index < cacheFirst_)
        throw DriverError(state::kGeneralError,
                          "General error: a scrolling cursor holds the last 64 MiB of its rows; "
                          "row " +
                              std::to_string(index + 1) + " is no longer held.");
    return cache_[index - cacheFirst_];
}

void StmtHandle::SetRowset(size_t start, size_t count) {
    std::vector<const std::vector<Value>*> rows;
    for (size_t k = 0; k < count; ++k) rows.push_back(&Cached(start + k));
    rowset_ = std::move(rows);
    rowsetStart_ = start;
    place_ = Place::OnRowset;
}

SQLUINTEGER StmtHandle::Bookmark(size_t k) const {
    return static_cast<SQLUINTEGER>(rowsetStart_ + k + 1);
}

SQLRETURN StmtHandle::NoRowset(Place place) {
    place_ = place;
    rowset_.clear();
    forwardRows_.clear();
    pos_ = 0;
    getState_.assign(columns_.size(), GetDataState{});
    if (out_.fetched) *out_.fetched = 0;
    if (out_.status) std::fill_n(out_.status, RowsetSize(), SQLUSMALLINT{SQL_ROW_NOROW});
    return SQL_NO_DATA;
}

SQLRETURN StmtHandle::SetRowsetSize(SQLULEN requested, SQLULEN& size) {
    if (requested < 1) return Fail(state::kInvalidValue);
    if (requested <= kMaxRowsetSize) {
        size = requested;
        return SQL_SUCCESS;
    }
    size = kMaxRowsetSize;
    return Warn(state::kOptionChanged, "Option value changed: a rowset holds at most " +
                                           std::to_string(kMaxRowsetSize) + " rows.");
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

SQLRETURN StmtHandle::Fetch() {
    return FetchScroll(SQL_FETCH_NEXT, 0);
}

SQLRETURN StmtHandle::FetchScroll(SQLSMALLINT orientation, SQLLEN offset) {
    SQLLEN bookmark = 0;
    if (orientation == SQL_FETCH_BOOKMARK && rows_ && staticCursor_ && !pending_) {
        if (useBookmarks_ == SQL_UB_OFF) return Fail(state::kFetchTypeOutOfRange);
        if (!fetchBookmarkPtr_) return Fail(state::kInvalidBookmark);
        SQLUINTEGER mark = 0;
        std::memcpy(&mark, fetchBookmarkPtr_, sizeof mark);
        bookmark = static_cast<SQLLEN>(mark);
    }
    return FetchRows(orientation, offset, bookmark,
                     RowsetOut{rowArraySize_, rowStatusPtr_, rowsFetchedPtr_});
}

SQLRETURN StmtHandle::ExtendedFetch(SQLUSMALLINT orientation, SQLLEN offset, SQLULEN* rowCount,
                                    SQLUSMALLINT* rowStatus) {
    const auto o = static_cast<SQLSMALLINT>(orientation);
    if (o == SQL_FETCH_BOOKMARK && rows_ && staticCursor_ && !pending_ &&
        useBookmarks_ == SQL_UB_OFF)
        return Fail(state::kFetchTypeOutOfRange);
    return FetchRows(o, o == SQL_FETCH_BOOKMARK ? 0 : offset, offset,
                     RowsetOut{rowsetSize2_, rowStatus, rowCount});
}

namespace {

// a + b, held at the ends of the range instead of overflowing.
long long Plus(long long a, long long b) {
    long long sum = 0;
    if (!__builtin_add_overflow(a, b, &sum)) return sum;
    return b > 0 ? LLONG_MAX : LLONG_MIN;
}

// |v|, also of the most negative offset.
unsigned long long Magnitude(SQLLEN v) {
    return v < 0 ? 0ull - static_cast<unsigned long long>(v) : static_cast<unsigned long long>(v);
}

}  // namespace

SQLRETURN StmtHandle::FetchRows(SQLSMALLINT orientation, SQLLEN offset, SQLLEN bookmark,
                                const RowsetOut& out) {
    if (pending_) return Fail(state::kSequenceError);
    if (!rows_) return Fail(state::kInvalidCursorState);
    out_ = out;
    const size_t n = RowsetSize();
    if (!staticCursor_) {
        if (orientation != SQL_FETCH_NEXT) return Fail(state::kFetchTypeOutOfRange);
        if (place_ == Place::AfterEnd) return NoRowset(Place::AfterEnd);
        const size_t start = place_ == Place::BeforeStart ? 0 : rowsetStart_ + rowset_.size();
        rowset_.clear();
        forwardRows_.clear();
        for (size_t k = 0; k < n; ++k) {
            std::vector<Value> row;
            if (!ReadEngineRow(row)) break;
            forwardRows_.push_back(std::move(row));
        }
        if (forwardRows_.empty()) return NoRowset(Place::AfterEnd);
        for (const std::vector<Value>& row : forwardRows_) rowset_.push_back(&row);
        rowsetStart_ = start;
        place_ = Place::OnRowset;
        return DeliverRowset(SQL_SUCCESS);
    }

    switch (orientation) {
        case SQL_FETCH_NEXT:
        case SQL_FETCH_PRIOR:
        case SQL_FETCH_RELATIVE:
        case SQL_FETCH_ABSOLUTE:
        case SQL_FETCH_FIRST:
        case SQL_FETCH_LAST:
        case SQL_FETCH_BOOKMARK:
            break;
        default:
            return Fail(state::kFetchTypeOutOfRange);
    }
    // Reading may drop the oldest rows of the cache, those of the rowset
    // among them: the rowset goes before anything is read.
    rowset_.clear();
    // The first row of the new rowset, 1-based, as ODBC's positioning rules
    // place it; 0 before the start, LLONG_MAX after the end. Offsets of any
    // size are held at the ends of the range rather than wrapping.
    constexpr long long kAfter = LLONG_MAX;
    const long long size = static_cast<long long>(n);
    const long long current = static_cast<long long>(rowsetStart_) + 1;
    auto total = [&] { return static_cast<long long>(CacheAll()); };
    bool beforeFirstRowset = false;  // 01S06: moved back past the first rowset
    // An absolute position; a negative one counts from the end.
    auto absolute = [&](SQLLEN o) -> long long {
        if (o > 0) return o;
        if (o == 0) return 0;
        const long long last = total();
        if (Magnitude(o) <= static_cast<unsigned long long>(last)) return last + o + 1;
        if (Magnitude(o) > static_cast<unsigned long long>(size)) return 0;
        beforeFirstRowset = true;
        return 1;
    };
    long long target = 0;
    switch (orientation) {
        case SQL_FETCH_NEXT:
            target = place_ == Place::BeforeStart ? 1
                     : place_ == Place::AfterEnd  ? kAfter
                                                  : current + size;
            break;
        case SQL_FETCH_PRIOR:
            if (place_ == Place::BeforeStart) {
                target = 0;
            } else if (place_ == Place::AfterEnd) {
                const long long last = total();
                target = last - size + 1;
                if (target < 1) target = 1, beforeFirstRowset = last > 0;
            } else if (current == 1) {
                target = 0;
            } else {
                target = current - size;
                if (target < 1) target = 1, beforeFirstRowset = true;
            }
            break;
        case SQL_FETCH_RELATIVE:
            if ((place_ == Place::BeforeStart && offset > 0) ||
                (place_ == Place::AfterEnd && offset < 0)) {
                target = absolute(offset);
            } else if (place_ == Place::BeforeStart) {
                target = 0;
            } else if (place_ == Place::AfterEnd) {
                target = kAfter;
            } else if (offset < 0 && current == 1) {
                target = 0;
            } else {
                target = Plus(current, offset);
                if (target < 1) {
                    if (Magnitude(offset) > static_cast<unsigned long long>(size))
                        target = 0;
                    else
                        target = 1, beforeFirstRowset = true;
                }
            }
            break;
        case SQL_FETCH_ABSOLUTE:
            target = absolute(offset);
            break;
        case SQL_FETCH_FIRST:
            target = 1;
            break;
        case SQL_FETCH_LAST: {
            const long long last = total();
            target = last == 0 ? kAfter : last <= size ? 1 : last - size + 1;
            break;
        }
        case SQL_FETCH_BOOKMARK:
            if (bookmark < 1 || !Cache(static_cast<size_t>(bookmark) - 1))
                return Fail(state::kInvalidBookmark);
            target = Plus(bookmark, offset);
            if (target < 1) target = 0;
            break;
        default:
            return Fail(state::kFetchTypeOutOfRange);
    }
    if (target <= 0) return NoRowset(Place::BeforeStart);
    if (target == kAfter || !Cache(static_cast<size_t>(target - 1)))
        return NoRowset(Place::AfterEnd);
    const size_t start = static_cast<size_t>(target - 1);
    Cache(start + n - 1);
    const size_t end = cacheFirst_ + cache_.size();
    SetRowset(start, std::min(n, end - start));
    SQLRETURN rc = SQL_SUCCESS;
    if (beforeFirstRowset)
        rc = Warn("01S06",
                  "Attempt to fetch before the result set returned "
                  "the first rowset");
    return DeliverRowset(rc);
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
