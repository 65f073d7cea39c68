// The progress log as the engine sees it. AppendLog and LogReady format a
// line and hand it to the one installed sink: the rich-text widget of the
// window, standard output in headless mode, or a recorder in tests.
#pragma once

#include <cstdint>
#include <string>

constexpr unsigned LogNoLineEnd = 1;  // flag bit 0: the next call continues the line
// Flag bit 1: a note. A red line reports a failure or a refusal; a red note
// reports something found that is no failure of the start or of a command
// (another program's run in progress, an archive column kept for its
// values). It is shown like any red line; only FailureLines leaves it out.
constexpr unsigned LogNote = 2;

class ILogSink {
  public:
    virtual ~ILogSink() = default;
    // Appends text (CP1252, CR LF line ends already included). colour 0 keeps
    // the format in force at the end of the log; any other colour switches to
    // bold text of that colour, which stays in force for later colour-0 text.
    virtual void Append(const std::string& text, uint32_t colour) = 0;
};

void SetLogSink(ILogSink* sink);  // not owned; null discards lines
ILogSink* GetLogSink();

// Appends text (null = empty) plus CR LF unless flags has LogNoLineEnd.
void AppendLog(const char* text, uint32_t colour = 0, unsigned flags = 0);
inline void AppendLog(const std::string& text, uint32_t colour = 0, unsigned flags = 0) {
    AppendLog(text.c_str(), colour, flags);
}
// How many red texts AppendLog has written in this process that were no
// notes: the failures and refusals reported so far.
int FailureLines();
// A line from outside the work that is writing to the log (a refusal, a note
// written while a run writes its lines): it stands on a line of its own, and
// afterwards the log goes on in the format it was in, so that the work's
// next colour-0 lines do not take on this line's colour. While the work has
// a line open (written without its end, to be completed by a count), the
// line waits and follows the open line's end.
void AppendLogAside(const std::string& text, uint32_t colour);
// "Bereit (%.3fs)\r\n" with the seconds since startMark (TickCount()), in green.
void LogReady(uint64_t startMark);
