#include "core/LogSink.h"

#include <cstdio>

#include "core/Globals.h"

namespace {
ILogSink* g_sink = nullptr;
int g_failureLines = 0;
}  // namespace

void SetLogSink(ILogSink* sink) {
    g_sink = sink;
}
ILogSink* GetLogSink() {
    return g_sink;
}

void AppendLog(const char* text, uint32_t colour, unsigned flags) {
    std::string line = text ? text : "";
    if (!(flags & LogNoLineEnd)) line += "\r\n";
    if (colour == ColourRed && !(flags & LogNote)) ++g_failureLines;
    if (g_sink) g_sink->Append(line, colour);
}

int FailureLines() {
    return g_failureLines;
}

void LogReady(uint64_t startMark) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "Bereit (%.3fs)\r\n", double(TickCount() - startMark) / 1000.0);
    AppendLog(buf, ColourReady);
}
