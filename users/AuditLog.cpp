#include "users/AuditLog.h"

#include <cstdio>
#include <ctime>

#include "core/Cp1252.h"
#include "core/WindowServices.h"
#include "db/ODBCConnection.h"
#include "db/ODBCStmt.h"
#include "db/SqlDialect.h"
#include "platform/ExclusiveFile.h"
#include "platform/UserAndHost.h"
#include "users/AuditFile.h"

namespace {

constexpr int32_t kModuleMinVersion = 188;  // older databases lack the audit columns
constexpr size_t kSegmentLength = 255;      // width of the column "notiz"
constexpr int32_t kKeepSeconds = 31536000;  // 365 days

// "log.save" may be held by Tamaro on another workstation: 50 retries of 200 ms.
constexpr ExclusiveFile::Retry kFallbackRetry{51, 200, true, true};

// A hostile or broken "log.save" must not bury the window under boxes.
constexpr size_t kMostRefusedShown = 10;

}  // namespace

AuditLog& TheAuditLog() {
    static AuditLog log;
    return log;
}

AuditLog::~AuditLog() {
    SaveAuditFile();
}

int32_t AuditLog::Now() const {
    return clock_ ? clock_() : static_cast<int32_t>(std::time(nullptr));
}

void AuditLog::WriteAuditEntry(int category, const std::string& text) {
    if (client_.empty()) {
        std::string user, host;
        client_ = GetLoginName(user) ? user : "unbekannt";
        client_ += ":";
        if (GetHostName(host)) client_ += host;
    }
    const int32_t now = Now();

    // Walked by position, so that a long text costs time in proportion to
    // its length.
    std::vector<std::string> segments;
    size_t at = 0;
    while (text.size() - at > kSegmentLength) {
        segments.push_back(text.substr(at, kSegmentLength - 2) + " »");
        at += kSegmentLength - 2;
    }
    segments.push_back(text.substr(at));

    const std::string client = EscapeSQL(client_);
    for (const std::string& segment : segments) {
        queue_.push_back(AuditFile::kInsertStart + std::to_string(mid_) + ", " +
                         std::to_string(lid_) + ", " + std::to_string(aid_) + ", -1, " +
                         std::to_string(now) + ", " + std::to_string(category) +
                         ", 0, -1, -1, -1, '" + client + "', '" + EscapeSQL(segment) + "')");
    }
    FlushAuditQueue();
}

void AuditLog::FlushAuditQueue() {
    // A message box below lets the window run other handlers; an entry that
    // one of them writes joins the queue and is taken by this flush.
    if (flushing_) return;
    if (!connection_ || !connection_->IsOpen()) return;
    if (connection_->GetDBVersion() < kModuleMinVersion) return;
    flushing_ = true;
    while (!queue_.empty()) {
        std::vector<std::string> batch;
        batch.swap(queue_);
        ODBCStmt stmt(*connection_);
        for (const std::string& sql : batch) {
            // A refused statement is shown and dropped.
            if (!stmt.ExecDirect(sql)) {
                ShowError("Fehler beim Loggen:\n" + sql + "\n---\n" +
                          connection_->GetErrorText(stmt.Handle()));
            }
            stmt.Reset();
        }
    }
    flushing_ = false;
}

void AuditLog::LoadAuditFile() {
    if (dataFolder_.empty()) return;
    ExclusiveFile file;
    if (file.Open(FallbackFile(), ExclusiveFile::Mode::Read, kFallbackRetry) !=
        ExclusiveFile::Result::Opened)
        return;
    std::string content;
    if (!file.ReadAll(content)) return;
    // Without deleting the file its statements would be written again at the
    // next start; they stay in the file for a start that can delete it.
    if (!file.Unlink()) {
        const std::string message = "Tamaro: " + FallbackFile() +
                                    " kann nicht gelöscht werden; seine Einträge bleiben dort.\n";
        std::fputs(cp1252::ToUtf8(message).c_str(), stderr);
        return;
    }
    // Only the audit log's own inserts are taken back; any other line is
    // shown and dropped, never executed.
    std::vector<std::string> refused;
    for (std::string& sql : AuditFile::Decode(content, &refused)) queue_.push_back(std::move(sql));
    const std::string why = "Die Zeile in \"" + FallbackFile() +
                            "\" ist kein Protokolleintrag von Tamaro; sie wird verworfen und "
                            "nicht ausgeführt.";
    for (size_t n = 0; n < refused.size() && n < kMostRefusedShown; ++n)
        ShowError("Fehler beim Loggen:\n" + refused[n] + "\n---\n" + why);
    if (refused.size() > kMostRefusedShown)
        ShowError("Fehler beim Loggen:\n" + std::to_string(refused.size() - kMostRefusedShown) +
                  " weitere Zeilen in \"" + FallbackFile() +
                  "\" sind keine Protokolleinträge von Tamaro; sie werden verworfen und nicht "
                  "ausgeführt.");
}

std::vector<std::string> AuditLog::SaveQueue() {
    std::vector<std::string> lost;
    if (queue_.empty()) return lost;
    if (dataFolder_.empty()) {
        lost.swap(queue_);
        ReportLost(lost, "kein Velunda-Datenordner bekannt");
        return lost;
    }
    const std::string content = AuditFile::Encode(queue_);

    ExclusiveFile file;
    bool saved = false;
    if (file.Open(FallbackFile(), ExclusiveFile::Mode::AppendCreate, kFallbackRetry) ==
        ExclusiveFile::Result::Opened) {
        const long long before = file.Size();
        saved = file.WriteAll(content);
        // A half-written statement would be executed as garbage at the next start.
        if (!saved && before >= 0) file.Truncate(before);
        if (!file.Close()) saved = false;
    }
    if (saved) {
        queue_.clear();
    } else {
        lost.swap(queue_);
        ReportLost(lost, FallbackFile() + " kann nicht geschrieben werden");
    }
    return lost;
}

bool AuditLog::SaveAuditFile() {
    return SaveQueue().empty();
}

void AuditLog::SaveAtProgramEnd() {
    const std::string file = FallbackFile();
    const std::vector<std::string> lost = SaveQueue();
    // Without a data folder the entries have nowhere to go; that is no news
    // worth a message box at every end of a program without Velunda.
    if (lost.empty() || dataFolder_.empty()) return;
    std::string text = "Die folgenden Protokolleinträge konnten nicht in \"" + file +
                       "\" gesichert werden und gehen verloren:";
    for (const std::string& sql : lost) text += "\n" + sql;
    ShowError(text);
}

void AuditLog::ReportLost(const std::vector<std::string>& lost, const std::string& why) const {
    std::string message = "Tamaro: " + std::to_string(lost.size()) +
                          " Protokolleinträge gehen verloren (" + why + "):\n";
    for (const std::string& sql : lost) message += sql + "\n";
    std::fputs(cp1252::ToUtf8(message).c_str(), stderr);
}

void AuditLog::PruneAuditLog() {
    if (!connection_ || !connection_->IsOpen() || mid_ == 0) return;
    ODBCStmt stmt(*connection_);
    stmt.ExecDirect("delete from log where datum<" + std::to_string(Now() - kKeepSeconds) +
                    " and mid=" + std::to_string(mid_));
}
