#include "common/HandleRegistry.h"

#include <mutex>
#include <unordered_map>

namespace odbcdrv {

namespace {
std::mutex& Lock() {
    static std::mutex m;
    return m;
}
// Never destroyed: at process exit or library unload the engine may already
// be gone, and a connection still registered must not detach then.
std::unordered_map<Handle*, std::unique_ptr<Handle>>& Live() {
    static auto* live = new std::unordered_map<Handle*, std::unique_ptr<Handle>>;
    return *live;
}
}  // namespace

Handle* HandleRegistry::Add(std::unique_ptr<Handle> h) {
    std::lock_guard<std::mutex> g(Lock());
    Handle* raw = h.get();
    Live().emplace(raw, std::move(h));
    return raw;
}

bool HandleRegistry::Remove(Handle* h) {
    std::unique_ptr<Handle> doomed;
    {
        std::lock_guard<std::mutex> g(Lock());
        auto it = Live().find(h);
        if (it == Live().end()) return false;
        doomed = std::move(it->second);
        Live().erase(it);
    }
    // Destroyed outside the lock: a connection's destructor detaches from the engine.
    return true;
}

Handle* HandleRegistry::Find(SQLHANDLE h, SQLSMALLINT type) {
    if (!h) return nullptr;
    std::lock_guard<std::mutex> g(Lock());
    auto it = Live().find(static_cast<Handle*>(h));
    if (it == Live().end() || it->first->Type() != type) return nullptr;
    return it->first;
}

}  // namespace odbcdrv
