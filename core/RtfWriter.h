// Writes the progress log as an RTF document that word processors open with
// its colours: code page 1252 text, a colour table of every colour used, and
// coloured text in bold.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// A stretch of the log in one format. text is CP1252 and may contain CR LF
// line ends; colour is a Windows-style RGB value, 0 for the default colour.
struct LogRun {
    std::string text;
    uint32_t colour = 0;
    bool bold = false;
};

// The complete RTF file for the runs, CR LF line ends, one \par per line.
std::string LogToRtf(const std::vector<LogRun>& runs);
