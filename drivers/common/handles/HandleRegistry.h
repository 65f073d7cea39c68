// Owns every live handle of the process. Entry points look a handle up here
// before touching it, so a null, foreign or already freed handle is answered
// with SQL_INVALID_HANDLE instead of a crash. A call holds a lease on its
// handle while it works: a handle in use is never destroyed under it (a free
// is refused instead, see FreeHandle in OdbcApi.cpp).
#pragma once

#include <memory>
#include <mutex>
#include <utility>
#include <vector>

#include "drivers/common/handles/Handle.h"

namespace odbcdrv {

class HandleRegistry {
  public:
    // A live handle counted as in use until the lease ends.
    class Lease {
      public:
        Lease() = default;
        Lease(Lease&& other) noexcept : h_(std::exchange(other.h_, nullptr)) {}
        Lease& operator=(Lease&& other) noexcept {
            std::swap(h_, other.h_);
            return *this;
        }
        ~Lease() {
            if (h_) Release(*h_);
        }
        Handle* get() const { return h_; }
        explicit operator bool() const { return h_ != nullptr; }

      private:
        friend class HandleRegistry;
        explicit Lease(Handle* h) : h_(h) {}
        Handle* h_ = nullptr;
    };

    // What may be done while the registry is locked. A lease taken here must
    // end after the lock is released.
    class Locked {
      public:
        // The live handle of the given type behind `h`, or null.
        Handle* Find(SQLHANDLE h, SQLSMALLINT type) const;
        bool InUse(const Handle& h) const { return h.users_ > 0; }
        Lease Use(Handle& h) const;
        // Takes the handle out of the registry: from now on it is not live.
        std::unique_ptr<Handle> Take(Handle* h) const;
    };

    // Takes ownership and returns the raw handle for the application.
    static Handle* Add(std::unique_ptr<Handle> h);
    // A lease on the live handle of the given type behind `h` (ENV, DBC or
    // STMT); empty when there is none.
    static Lease Use(SQLHANDLE h, SQLSMALLINT type);
    // Whether a call holds a lease on any of the handles.
    template <class Handles>
    static bool AnyInUse(const Handles& handles) {
        std::lock_guard<std::mutex> g(Mutex());
        for (const Handle* h : handles)
            if (h->users_ > 0) return true;
        return false;
    }
    template <class F>
    static auto WithLock(F&& f) {
        std::lock_guard<std::mutex> g(Mutex());
        const Locked locked;
        return f(locked);
    }

  private:
    static std::mutex& Mutex();
    static void Release(Handle& h);
};

}  // namespace odbcdrv
