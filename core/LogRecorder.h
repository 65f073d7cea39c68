// A log sink that keeps the log as lines with the colour each line was shown
// in, the way a reader of the window would see it. Used by tests and as the
// memory of the headless front end.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "core/LogSink.h"
#include "core/RtfWriter.h"

class LogRecorder : public ILogSink {
  public:
    struct Line {
        std::string text;     // without line end
        uint32_t colour = 0;  // colour in force where the line began (0 = default black)
        // Pieces of the line as written by separate calls, each with the colour in force.
        std::vector<std::pair<std::string, uint32_t>> segments;
    };
    void Append(const std::string& text, uint32_t colour) override;
    // Complete lines plus the unfinished last one (if any text follows the last CR LF).
    std::vector<Line> Lines() const;
    std::vector<std::string> Texts() const;
    const std::string& Raw() const { return raw_; }
    // The whole log as stretches of one format, as the window shows it: a
    // colour once given stays in force, in bold, for later colour-0 text.
    const std::vector<LogRun>& Runs() const { return runs_; }
    void Clear();

  private:
    std::string raw_;
    std::vector<LogRun> runs_;
    uint32_t current_ = 0;
    std::vector<Line> done_;
    Line open_;
    bool openStarted_ = false;
};
