#include "common/Diagnostics.h"

#include "common/SqlStates.h"

namespace odbcdrv {

void Diagnostics::Clear() {
    std::lock_guard<std::mutex> g(lock_);
    records_.clear();
    handedOut_ = 0;
    lastReturn_ = SQL_SUCCESS;
}

void Diagnostics::Add(const std::string& sqlstate, const std::string& message, SQLINTEGER native) {
    DiagRecord r{sqlstate, message.empty() ? StateText(sqlstate.c_str()) : message, native};
    std::lock_guard<std::mutex> g(lock_);
    records_.push_back(std::move(r));
}

size_t Diagnostics::Count() const {
    std::lock_guard<std::mutex> g(lock_);
    return records_.size();
}

bool Diagnostics::Get(size_t n, DiagRecord& out) const {
    std::lock_guard<std::mutex> g(lock_);
    if (n < 1 || n > records_.size()) return false;
    out = records_[n - 1];
    return true;
}

bool Diagnostics::NextForSQLError(DiagRecord& out) {
    std::lock_guard<std::mutex> g(lock_);
    if (handedOut_ >= records_.size()) return false;
    out = records_[handedOut_++];
    return true;
}

void Diagnostics::SetReturn(SQLRETURN rc) {
    std::lock_guard<std::mutex> g(lock_);
    lastReturn_ = rc;
}

SQLRETURN Diagnostics::LastReturn() const {
    std::lock_guard<std::mutex> g(lock_);
    return lastReturn_;
}

}  // namespace odbcdrv
