// A transaction that only reads, for handing out what a database holds as
// one consistent state: the connection refuses every change while it lasts
// (read-only access mode), every read sees the state of its first one (the
// engine's snapshot: repeatable read, which on the Access kind takes no
// write lock, unlike the runs' serializable transactions), and it ends with
// a roll-back, which leaves nothing behind. Afterwards the connection is as
// before: automatic commit, read committed, read-write.
#pragma once

#include <string>

class ODBCConnection;

class ReadOnlyTransaction {
  public:
    explicit ReadOnlyTransaction(ODBCConnection& connection) : connection_(connection) {}
    ~ReadOnlyTransaction() { End(); }
    ReadOnlyTransaction(const ReadOnlyTransaction&) = delete;
    ReadOnlyTransaction& operator=(const ReadOnlyTransaction&) = delete;

    // False with the driver's text in error when the connection refuses;
    // the connection is then as before.
    bool Begin(std::string& error);
    // Ends it (when begun) and gives the connection its settings back. False
    // when the connection refused one of them (it may then refuse changes).
    bool End();

  private:
    ODBCConnection& connection_;
    bool begun_ = false;
};
