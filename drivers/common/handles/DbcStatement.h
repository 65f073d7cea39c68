// A statement as its connection sees it. The connection closes its
// statements' cursors when a transaction ends or autocommit changes, drops
// what the engine prepared for them when it disconnects, and hands them its
// SQL_ATTR_METADATA_ID; it needs no more of them, so the connection's code
// does without the statement's.
#pragma once

#include "drivers/common/handles/Handle.h"

namespace odbcdrv {

class DbcStatement : public Handle {
  public:
    using Handle::Handle;

    // Drops the current result set (its engine cursor and transaction).
    virtual void CloseResults() = 0;
    // Takes the connection's SQL_ATTR_METADATA_ID.
    virtual void SetMetadataId(bool on) = 0;
    // Drops the result set, a pending execution and the prepared statement:
    // the connection is about to end.
    virtual void DropEngineState() = 0;
};

}  // namespace odbcdrv
