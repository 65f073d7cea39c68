#include "drivers/common/handles/HandleRegistry.h"

#include <unordered_map>

namespace odbcdrv {

namespace {
// Never destroyed: at process exit or library unload the engine may already
// be gone, and a connection still registered must not detach then.
std::unordered_map<Handle*, std::unique_ptr<Handle>>& Live() {
    static auto* live = new std::unordered_map<Handle*, std::unique_ptr<Handle>>;
    return *live;
}
}  // namespace

std::mutex& HandleRegistry::Mutex() {
    static std::mutex m;
    return m;
}

Handle* HandleRegistry::Add(std::unique_ptr<Handle> h) {
    std::lock_guard<std::mutex> g(Mutex());
    Handle* raw = h.get();
    Live().emplace(raw, std::move(h));
    return raw;
}

HandleRegistry::Lease HandleRegistry::Use(SQLHANDLE h, SQLSMALLINT type) {
    if (type != SQL_HANDLE_ENV && type != SQL_HANDLE_DBC && type != SQL_HANDLE_STMT) return {};
    std::lock_guard<std::mutex> g(Mutex());
    const Locked locked;
    Handle* live = locked.Find(h, type);
    return live ? locked.Use(*live) : Lease();
}

void HandleRegistry::Release(Handle& h) {
    std::lock_guard<std::mutex> g(Mutex());
    --h.users_;
}

Handle* HandleRegistry::Locked::Find(SQLHANDLE h, SQLSMALLINT type) const {
    if (!h) return nullptr;
    auto it = Live().find(static_cast<Handle*>(h));
    if (it == Live().end() || it->first->Type() != type) return nullptr;
    return it->first;
}

HandleRegistry::Lease HandleRegistry::Locked::Use(Handle& h) const {
    ++h.users_;
    return Lease(&h);
}

std::unique_ptr<Handle> HandleRegistry::Locked::Take(Handle* h) const {
    auto it = Live().find(h);
    if (it == Live().end()) return nullptr;
    std::unique_ptr<Handle> owned = std::move(it->second);
    Live().erase(it);
    return owned;
}

}  // namespace odbcdrv
