#include "drivers/common/base/Diagnostics.h"

#include <algorithm>

#include "drivers/common/base/SqlStates.h"

namespace odbcdrv {

const Diagnostics::Refusal* Diagnostics::Mine() const {
    const std::thread::id me = std::this_thread::get_id();
    for (const Refusal& r : refusals_)
        if (r.thread == me) return &r;
    return nullptr;
}

void Diagnostics::Clear() {
    const std::thread::id me = std::this_thread::get_id();
    std::lock_guard<std::mutex> g(lock_);
    records_.clear();
    handedOut_ = 0;
    lastReturn_ = SQL_SUCCESS;
    refusals_.erase(std::remove_if(refusals_.begin(), refusals_.end(),
                                   [&](const Refusal& r) { return r.thread == me; }),
                    refusals_.end());
}

void Diagnostics::Add(const std::string& sqlstate, const std::string& message, SQLINTEGER native) {
    DiagRecord r{sqlstate, message.empty() ? StateText(sqlstate.c_str()) : message, native};
    std::lock_guard<std::mutex> g(lock_);
    records_.push_back(std::move(r));
}

void Diagnostics::Refuse(const std::string& sqlstate, const std::string& message) {
    Refusal refusal{std::this_thread::get_id(), DiagRecord{sqlstate, message, 0}};
    std::lock_guard<std::mutex> g(lock_);
    for (Refusal& r : refusals_)
        if (r.thread == refusal.thread) {
            r = std::move(refusal);
            return;
        }
    refusals_.push_back(std::move(refusal));
}

size_t Diagnostics::Count() const {
    std::lock_guard<std::mutex> g(lock_);
    return Mine() ? 1 : records_.size();
}

bool Diagnostics::Get(size_t n, DiagRecord& out) const {
    std::lock_guard<std::mutex> g(lock_);
    if (const Refusal* r = Mine()) {
        if (n != 1) return false;
        out = r->record;
        return true;
    }
    if (n < 1 || n > records_.size()) return false;
    out = records_[n - 1];
    return true;
}

bool Diagnostics::NextForSQLError(DiagRecord& out) {
    std::lock_guard<std::mutex> g(lock_);
    if (const Refusal* mine = Mine()) {
        auto* r = const_cast<Refusal*>(mine);
        if (r->handedOut) return false;
        r->handedOut = true;
        out = r->record;
        return true;
    }
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
    return Mine() ? SQLRETURN{SQL_ERROR} : lastReturn_;
}

}  // namespace odbcdrv
