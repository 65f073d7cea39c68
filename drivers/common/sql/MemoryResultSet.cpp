#include "drivers/common/sql/MemoryResultSet.h"

namespace odbcdrv {

bool MemoryResultSet::Next(std::vector<Value>& row) {
    if (breakError_ && next_ == breakAfter_) throw *breakError_;
    if (next_ >= rows_.size()) return false;
    row = std::move(rows_[next_++]);
    return true;
}

}  // namespace odbcdrv
