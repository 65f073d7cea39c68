#include "core/RtfWriter.h"

#include <algorithm>
#include <cstdio>

namespace {

void AppendEscaped(std::string& out, unsigned char c) {
    if (c == '\\' || c == '{' || c == '}') {
        out += '\\';
        out += char(c);
    } else if (c == '\t') {
        out += "\\tab ";
    } else if (c >= 0x80 || c < 0x20) {
        char hex[8];
        std::snprintf(hex, sizeof hex, "\\'%02x", c);
        out += hex;
    } else {
        out += char(c);
    }
}

}  // namespace

std::string LogToRtf(const std::vector<LogRun>& runs) {
    // Colour-table index 0 is the reader's default colour; the others follow
    // in the order of first use.
    std::vector<uint32_t> colours;
    for (const LogRun& run : runs)
        if (run.colour != 0 &&
            std::find(colours.begin(), colours.end(), run.colour) == colours.end())
            colours.push_back(run.colour);

    std::string out =
        "{\\rtf1\\ansi\\ansicpg1252\\deff0{\\fonttbl{\\f0\\fswiss\\fcharset0 Arial;}}\r\n";
    out += "{\\colortbl ;";
    for (uint32_t c : colours) {
        char entry[64];
        std::snprintf(entry, sizeof entry, "\\red%u\\green%u\\blue%u;", c & 0xFF, (c >> 8) & 0xFF,
                      (c >> 16) & 0xFF);
        out += entry;
    }
    out += "}\r\n\\viewkind4\\uc1\\pard\\f0\\fs20 ";

    size_t colourIndex = 0;
    bool bold = false;
    for (const LogRun& run : runs) {
        size_t wanted = 0;
        if (run.colour != 0)
            wanted =
                size_t(std::find(colours.begin(), colours.end(), run.colour) - colours.begin()) + 1;
        std::string switches;
        if (wanted != colourIndex) switches += "\\cf" + std::to_string(wanted);
        if (run.bold != bold) switches += run.bold ? "\\b" : "\\b0";
        if (!switches.empty()) out += switches + " ";
        colourIndex = wanted;
        bold = run.bold;

        const std::string& t = run.text;
        for (size_t i = 0; i < t.size(); ++i) {
            if (t[i] == '\r' && i + 1 < t.size() && t[i + 1] == '\n') {
                out += "\\par\r\n";
                ++i;
            } else if (t[i] == '\n') {
                out += "\\par\r\n";
            } else {
                AppendEscaped(out, static_cast<unsigned char>(t[i]));
            }
        }
    }
    out += "}\r\n";
    return out;
}
