// The cursor of StmtHandle: where SQLFetch, SQLFetchScroll and
// SQLExtendedFetch place the rowset of SQL_ATTR_ROW_ARRAY_SIZE (or
// SQL_ROWSET_SIZE) rows, and the rows it reads for it (StmtHandleData.cpp
// puts them into the application's buffers).
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

namespace odbcdrv {

namespace {

constexpr size_t kCacheBudget = size_t{64} << 20;

size_t RowBytes(const std::vector<Value>& row) {
    size_t n = sizeof(Value) * row.size();
    for (const Value& v : row) n += v.s.capacity();
    return n;
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

// The first row of a rowset, 1-based, as ODBC's positioning rules place it;
// 0 before the start, kAfterEnd after the end. Offsets of any size are held
// at the ends of the range rather than wrapping.
constexpr long long kAfterEnd = LLONG_MAX;

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
        return FetchForward();
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
    bool beforeFirstRowset = false;  // 01S06: moved back past the first rowset
    long long target = 0;
    if (orientation == SQL_FETCH_BOOKMARK) {
        if (bookmark < 1 || !Cache(static_cast<size_t>(bookmark) - 1))
            return Fail(state::kInvalidBookmark);
        target = Plus(bookmark, offset);
        if (target < 1) target = 0;
    } else {
        target = ScrollTarget(orientation, offset, beforeFirstRowset);
    }
    if (target <= 0) return NoRowset(Place::BeforeStart);
    if (target == kAfterEnd || !Cache(static_cast<size_t>(target - 1)))
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

SQLRETURN StmtHandle::FetchForward() {
    if (place_ == Place::AfterEnd) return NoRowset(Place::AfterEnd);
    const size_t start = place_ == Place::BeforeStart ? 0 : rowsetStart_ + rowset_.size();
    rowset_.clear();
    forwardRows_.clear();
    for (size_t k = 0, n = RowsetSize(); k < n; ++k) {
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

long long StmtHandle::ScrollTarget(SQLSMALLINT orientation, SQLLEN offset,
                                   bool& beforeFirstRowset) {
    const long long size = static_cast<long long>(RowsetSize());
    const long long current = static_cast<long long>(rowsetStart_) + 1;
    auto total = [&] { return static_cast<long long>(CacheAll()); };
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
                     : place_ == Place::AfterEnd  ? kAfterEnd
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
                target = kAfterEnd;
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
            target = last == 0 ? kAfterEnd : last <= size ? 1 : last - size + 1;
            break;
        }
        default:
            break;
    }
    return target;
}

}  // namespace odbcdrv
