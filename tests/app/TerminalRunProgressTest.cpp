// The headless progress line on a real terminal (a pseudo-terminal): written
// to standard error only when that is a terminal, rewritten in place, taken
// away around every text of the log and at the end, and never part of the
// log's own output.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "app/headless/TerminalRunProgress.h"
#include "core/Globals.h"
#include "core/RunProgressText.h"
#include "core/TerminalLogSink.h"

namespace {

// A pseudo-terminal that passes bytes unchanged.
class Terminal {
  public:
    Terminal() {
        termios raw{};
        cfmakeraw(&raw);
        if (openpty(&master_, &slave_, nullptr, &raw, nullptr) != 0) return;
        fcntl(master_, F_SETFL, O_NONBLOCK);
        out_ = fdopen(dup(slave_), "w");
    }
    ~Terminal() {
        if (out_) std::fclose(out_);
        if (slave_ >= 0) close(slave_);
        if (master_ >= 0) close(master_);
    }
    std::FILE* Out() const { return out_; }
    // Everything written to the terminal so far.
    std::string Read() {
        std::fflush(out_);
        std::string bytes;
        char buffer[4096];
        for (ssize_t n; (n = read(master_, buffer, sizeof buffer)) > 0;) bytes.append(buffer, n);
        return bytes;
    }

  private:
    int master_ = -1, slave_ = -1;
    std::FILE* out_ = nullptr;
};

std::string FileText(std::FILE* f) {
    std::fflush(f);
    std::rewind(f);
    std::string text;
    for (int c; (c = std::fgetc(f)) != EOF;) text += char(c);
    return text;
}

// A run as the log and the run's reports meet during it: a heading, a table
// line begun, reports inside the table, the table's count, the end.
void PlayRun(TerminalRunProgress& progress) {
    progress.Append("Datentransfer Velunda -> Archiv...\r\n", 0);
    progress.Append("\x95 Velunda.abrechnungen... ", 0);
    progress.Progress("Archivieren", 43, 100);
    progress.Progress("Archivieren", 43, 100);  // unchanged: nothing written
    progress.Progress("Archivieren", 50, 100);
    progress.Append("(12 Eintr\xE4ge)\r\n", 0);
    progress.Progress("Archivieren", 100, 100);
    progress.Finished();
}

// The log as UTF-8 on its stream (this file's literals are code page 1252).
const std::string kLog =
    "Datentransfer Velunda -> Archiv...\n\xE2\x80\xA2 Velunda.abrechnungen... (12 "
    "Eintr\xC3\xA4ge)\n";

TEST(TerminalRunProgressTest, TheLineIsRewrittenInPlaceAndNeverInTheLog) {
    EXPECT_EQ(RunProgressText("Archivieren", 43, 100), "Archivieren 43 %");
    EXPECT_EQ(RunProgressText("Restaurieren", 1, 3), "Restaurieren 33 %");
    EXPECT_EQ(RunProgressText("L\xF6schen", 0, 0), "L\xF6schen 100 %");

    // The log in a file, the line on the terminal: always at the start of
    // the terminal's line.
    {
        Terminal terminal;
        ASSERT_NE(terminal.Out(), nullptr);
        std::FILE* logFile = std::tmpfile();
        TerminalLogSink log(logFile);
        TerminalRunProgress progress(terminal.Out(), log, logFile);
        EXPECT_TRUE(progress.Shows());
        PlayRun(progress);
        EXPECT_EQ(terminal.Read(),
                  "\rArchivieren 43 %\x1b[K"
                  "\rArchivieren 50 %\x1b[K"
                  "\r\x1b[K"                  // away for the log's text
                  "\rArchivieren 50 %\x1b[K"  // and back
                  "\rArchivieren 100 %\x1b[K"
                  "\r\x1b[K");  // gone at the end
        EXPECT_EQ(FileText(logFile), kLog);
        std::fclose(logFile);
    }
    // The log on the same terminal: the line stands behind the begun table
    // line and is taken away before the log goes on.
    {
        Terminal terminal;
        TerminalLogSink log(terminal.Out());
        TerminalRunProgress progress(terminal.Out(), log, terminal.Out());
        PlayRun(progress);
        EXPECT_EQ(terminal.Read(),
                  "Datentransfer Velunda -> Archiv...\n"
                  "\xE2\x80\xA2 Velunda.abrechnungen... "
                  "\0337 Archivieren 43 %\x1b[K"
                  "\0338 Archivieren 50 %\x1b[K"
                  "\0338\x1b[K"
                  "(12 Eintr\xC3\xA4ge)\n"
                  "\rArchivieren 50 %\x1b[K"
                  "\rArchivieren 100 %\x1b[K"
                  "\r\x1b[K");
    }
    // Standard error in a pipe or file: no line at all.
    {
        std::FILE* err = std::tmpfile();
        std::FILE* out = std::tmpfile();
        TerminalLogSink log(out);
        TerminalRunProgress progress(err, log, out);
        EXPECT_FALSE(progress.Shows());
        PlayRun(progress);
        EXPECT_EQ(FileText(err), "");
        EXPECT_EQ(FileText(out), kLog);
        std::fclose(err);
        std::fclose(out);
    }
}

}  // namespace
