#include "core/LogSink.h"

#include <cstdio>
#include <deque>
#include <utility>

#include "core/Globals.h"

namespace {
ILogSink* g_sink = nullptr;
int g_failureLines = 0;
uint32_t g_colour = 0;   // the last colour given, in force for colour-0 text
bool g_midLine = false;  // the last text written did not end its line
// Lines from aside that came while a line was open; they follow its end.
std::deque<std::pair<std::string, uint32_t>> g_aside;

void WriteAside(const std::string& text, uint32_t colour) {
    const uint32_t before = g_colour;
    AppendLog(text, colour);
    if (before != 0 && before != colour) AppendLog("", before, LogNoLineEnd);
}

// Writes the lines kept aside once no line is open. Each write lets the
// window handle events, which may keep further lines aside or open a line.
void WriteKeptAside() {
    while (!g_midLine && !g_aside.empty()) {
        auto [text, colour] = std::move(g_aside.front());
        g_aside.pop_front();
        WriteAside(text, colour);
    }
}
}  // namespace

void SetLogSink(ILogSink* sink) {
    g_sink = sink;
    g_colour = 0;
    g_midLine = false;
    g_aside.clear();
}
ILogSink* GetLogSink() {
    return g_sink;
}

void AppendLog(const char* text, uint32_t colour, unsigned flags) {
    std::string line = text ? text : "";
    if (!(flags & LogNoLineEnd)) line += "\r\n";
    if (colour == ColourRed && !(flags & LogNote)) ++g_failureLines;
    if (colour != 0) g_colour = colour;
    if (!line.empty()) g_midLine = line.size() < 2 || line.compare(line.size() - 2, 2, "\r\n") != 0;
    if (g_sink) g_sink->Append(line, colour);
    if (!g_aside.empty()) WriteKeptAside();
}

int FailureLines() {
    return g_failureLines;
}

void AppendLogAside(const std::string& text, uint32_t colour) {
    // A line that the work has begun and will complete ("• Velunda.termine..."
    // and later its count) is not split: the line from aside follows it.
    if (g_midLine) {
        g_aside.emplace_back(text, colour);
        return;
    }
    WriteAside(text, colour);
}

void LogReady(uint64_t startMark) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "Bereit (%.3fs)\r\n", double(TickCount() - startMark) / 1000.0);
    AppendLog(buf, ColourReady);
}
