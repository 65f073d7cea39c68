// Velunda's shared audit table "log": Tamaro's entries (module id 7) wait in
// a queue until the main database takes them; what is still queued at the
// end of the program goes to the fallback file "log.save" in the data folder,
// which the next start reads back. Text is code page 1252.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class ODBCConnection;

class AuditLog {
  public:
    AuditLog() = default;
    // Saves what is still queued to "log.save". Touches no database, so it is
    // safe after the connections and the driver libraries are gone.
    ~AuditLog();
    AuditLog(const AuditLog&) = delete;
    AuditLog& operator=(const AuditLog&) = delete;

    // Queues the entry (one insert per segment of at most 255 characters)
    // and then flushes the queue.
    void WriteAuditEntry(int category, const std::string& text);
    // Executes the queue when a connection is attached and open and the
    // database is newer than version 187; otherwise the queue stays.
    void FlushAuditQueue();
    // Appends the audit inserts of "log.save" to the queue and deletes the
    // file. Lines of any other shape are shown in a message box and dropped,
    // never executed.
    void LoadAuditFile();
    // Appends the queue to "log.save" and empties the queue. False when
    // entries were lost; they are then written to standard error.
    bool SaveAuditFile();
    // SaveAuditFile for the normal end of the program, while the window still
    // exists: entries that could not be saved are also named in a message box.
    void SaveAtProgramEnd();
    // Deletes this module's rows older than 365 days.
    void PruneAuditLog();

    void SetConnection(ODBCConnection* connection) { connection_ = connection; }  // not owned
    void SetModuleId(int32_t mid) { mid_ = mid; }
    void SetDataFolder(const std::string& folder) { dataFolder_ = folder; }
    void SetUserId(int32_t lid) { lid_ = lid; }
    void SetDoctorId(int32_t aid) { aid_ = aid; }
    // Source of the entries' times (seconds since 1970); null = the system clock.
    void SetClock(int32_t (*clock)()) { clock_ = clock; }

    ODBCConnection* Connection() const { return connection_; }
    int32_t ModuleId() const { return mid_; }
    int32_t UserId() const { return lid_; }
    int32_t DoctorId() const { return aid_; }
    const std::string& DataFolder() const { return dataFolder_; }
    const std::string& Client() const { return client_; }
    const std::vector<std::string>& Queue() const { return queue_; }
    std::string FallbackFile() const { return dataFolder_ + "/log.save"; }

  private:
    int32_t Now() const;
    // Writes the queue to the file and empties it; returns what was lost.
    std::vector<std::string> SaveQueue();
    void ReportLost(const std::vector<std::string>& lost, const std::string& why) const;

    ODBCConnection* connection_ = nullptr;
    int32_t lid_ = -1;
    int32_t aid_ = -1;
    int32_t mid_ = 0;
    std::string client_;
    std::string dataFolder_;
    std::vector<std::string> queue_;
    bool flushing_ = false;
    int32_t (*clock_)() = nullptr;
};

// The process-wide audit log, alive from before main until after it.
AuditLog& TheAuditLog();

// Category 1 for program events, 2 for run results.
inline void WriteAuditEntry(int category, const std::string& text) {
    TheAuditLog().WriteAuditEntry(category, text);
}
