// A run's progress in headless mode: one line on standard error,
// "Archivieren 43 %", rewritten in place while the run lasts and removed when
// it ends. Only when standard error is a terminal; nothing of it reaches
// standard output or the log.
//
// It stands in front of the log's own sink. When the log goes to the same
// terminal, the line is taken away before each text of the log and drawn
// again after it, so the two never mix: at the start of a line with "\r",
// and after a line that the log has begun but not ended (the table being
// copied) behind that text, with the terminal's saved cursor position.
#pragma once

#include <cstdio>
#include <string>

#include "core/LogSink.h"
#include "core/RunProgress.h"

class TerminalRunProgress : public IRunProgress, public ILogSink {
  public:
    // terminal: where the line goes (standard error); log: the sink that
    // writes the log to logOut (standard output).
    TerminalRunProgress(std::FILE* terminal, ILogSink& log, std::FILE* logOut);

    void Progress(const std::string& what, uint64_t done, uint64_t total) override;
    void Finished() override;
    void Append(const std::string& text, uint32_t colour) override;

    // False when the line is not shown at all (standard error is no terminal).
    bool Shows() const { return shows_; }

  private:
    void Draw();
    void Erase();
    void Write(const std::string& bytes);

    std::FILE* terminal_;
    ILogSink& log_;
    bool shows_;
    bool sharedWithLog_;  // the log writes to the same terminal
    std::string text_;    // UTF-8; empty outside a run
    bool drawn_ = false;
    bool behindText_ = false;  // drawn after a begun line of the log
    bool logMidLine_ = false;  // the log's last text did not end its line
};
