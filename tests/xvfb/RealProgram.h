// The real program (build/tamaro/tamaro) on the private X server, started
// from a program folder of its own on a practice that tamaro-mkpractice made,
// and driven from outside by xdotool as a user would: its windows found by
// their captions, keys typed into them, its progress log read back from the
// RTF file that its F8 saves, its databases read once it has let go of them.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <string>
#include <type_traits>
#include <vector>

#include "db/ArchiveDbPair.h"
#include "db/DatabaseKind.h"
#include "db/ODBCStmt.h"
#include "tests/fixtures/Practice.h"

namespace xvfbtest {

namespace fs = std::filesystem;

class RealProgram {
  public:
    RealProgram();
    // Kills a program still running.
    ~RealProgram();
    RealProgram(const RealProgram&) = delete;
    RealProgram& operator=(const RealProgram&) = delete;

    // The practice of that kind with the given number of random patients,
    // and the fixed cases of tamaro-mkpractice when cases is true (pids
    // after the random ones); Firebird files are opened by the embedded
    // engine. False when the practice cannot be made.
    bool Install(const std::string& kind, int patients, bool cases);
    const fs::path& Practice() const { return practice_.path(); }
    const fs::path& Folder() const { return program_.path(); }

    // Starts the program from its folder as "AID=2" (the user mueller), with
    // its standard error in a file, HOME in its folder, and the extra
    // environment given ("NAME=value").
    void Start(const std::vector<std::string>& environment = {});
    pid_t Pid() const { return pid_; }
    // The id of the window with exactly that caption: waited for up to 20 s,
    // or looked for once. Empty when there is none.
    std::string Window(const std::string& caption, bool wait = true);
    // Logs in as mueller and waits for the main window; false when either
    // does not come.
    bool LogIn();
    // Gives the main window the keyboard and types the keys ("shift+F10").
    void Keys(const std::string& keys);
    // The log as the program's F8 saves it, line by line (code page 1252).
    // Empty when the save dialog did not come (F8 is disabled while a run,
    // the check or a preview is at work).
    std::vector<std::string> SavedLog();
    // Saves the log until it satisfies done (at most for the given seconds);
    // the last log saved.
    template <class Done>
    std::vector<std::string> WaitForLog(Done done, int seconds = 120) {
        std::vector<std::string> log;
        for (int waited = 0; waited < seconds * 2; ++waited) {
            log = SavedLog();
            if (!log.empty() && done(log)) break;
            Pause(500);
        }
        return log;
    }
    // Waits until the program stops itself (TAMARO_RUN_STOP_AT); false when
    // it ended or did not stop within 30 s.
    bool WaitStopped();
    // The exit status once the program has ended (128 + signal when killed
    // by one), or -1 when it did not end within 30 s.
    int Ended();
    std::string Stderr() const;
    // A report of the address or undefined-behaviour sanitizer in the
    // standard error, or empty.
    std::string SanitizerReport() const;

    // A column of a database of the practice (file name without extension),
    // read through the project's driver; the program must have let go of it.
    template <class T>
    std::vector<T> Column(const std::string& file, const std::string& sql) {
        std::vector<T> values;
        ArchiveDbPair db{"x", file, ""};
        if (!Open(db)) return values;
        {
            // The statement is freed before the connection ends: a handle
            // that outlives its connection is one the driver manager has
            // already freed.
            ODBCStmt stmt(db.Connection);
            if (stmt.ExecDirect(sql))
                while (stmt.Fetch()) {
                    T v{};
                    if constexpr (std::is_same_v<T, std::string>)
                        stmt.GetColumnString(1, v);
                    else
                        stmt.GetColumnInt(1, v);
                    values.push_back(v);
                }
        }
        db.Connection.Disconnect();
        return values;
    }
    bool Execute(const std::string& file, const std::string& sql);

    static void Pause(int milliseconds);

  private:
    bool Open(ArchiveDbPair& db);

    testenv::TempDir practice_{"tamaro-real-practice"}, program_{"tamaro-real-prog"},
        locks_{"tamaro-real-locks"};
    pid_t pid_ = -1;
    std::string main_;  // the main window's id, once logged in
};

// Count of the lines that begin with prefix.
size_t CountLines(const std::vector<std::string>& lines, const std::string& prefix);
// Index of the first line at or after from that begins with prefix, or size.
size_t FindLine(const std::vector<std::string>& lines, const std::string& prefix, size_t from = 0);
// The text of an RTF file of the log, line by line (code page 1252).
std::vector<std::string> RtfLines(const std::string& rtf);

}  // namespace xvfbtest
