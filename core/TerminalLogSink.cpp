#include "core/TerminalLogSink.h"

#include <unistd.h>

#include <string>

#include "core/Cp1252.h"
#include "core/Globals.h"

TerminalLogSink::TerminalLogSink(std::FILE* out) : out_(out), ansi_(isatty(fileno(out)) != 0) {}

void TerminalLogSink::Append(const std::string& text, uint32_t colour) {
    if (colour != 0) current_ = colour;
    std::string plain;
    plain.reserve(text.size());
    for (char c : text)
        if (c != '\r') plain += c;
    std::string utf8 = cp1252::ToUtf8(plain);
    if (ansi_ && current_ != 0) {
        std::fprintf(out_, "\x1b[1;38;2;%u;%u;%um%s\x1b[0m", current_ & 0xFF,
                     (current_ >> 8) & 0xFF, (current_ >> 16) & 0xFF, utf8.c_str());
    } else {
        std::fputs(utf8.c_str(), out_);
    }
    std::fflush(out_);
}
