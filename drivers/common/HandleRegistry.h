// Owns every live handle of the process. Entry points look a handle up here
// before touching it, so a null, foreign or already freed handle is answered
// with SQL_INVALID_HANDLE instead of a crash.
#pragma once

#include <memory>

#include "common/Handle.h"

namespace odbcdrv {

class HandleRegistry {
  public:
    // Takes ownership and returns the raw handle for the application.
    static Handle* Add(std::unique_ptr<Handle> h);
    // Destroys the handle; false when it was not live.
    static bool Remove(Handle* h);
    // The live handle of the given type behind `h`, or null.
    static Handle* Find(SQLHANDLE h, SQLSMALLINT type);

    template <class T>
    static T* Get(SQLHANDLE h, SQLSMALLINT type) {
        return static_cast<T*>(Find(h, type));
    }
};

}  // namespace odbcdrv
