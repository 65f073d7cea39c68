#include "app/headless/TerminalRunProgress.h"

#include <sys/stat.h>
#include <unistd.h>

#include "core/Cp1252.h"
#include "core/RunProgressText.h"

namespace {

bool SameTerminal(std::FILE* a, std::FILE* b) {
    struct stat sa;
    struct stat sb;
    return isatty(fileno(a)) && isatty(fileno(b)) && fstat(fileno(a), &sa) == 0 &&
           fstat(fileno(b), &sb) == 0 && sa.st_rdev == sb.st_rdev;
}

constexpr const char* kClearToEnd = "\x1b[K";
constexpr const char* kSaveCursor = "\0337";     // ESC 7
constexpr const char* kRestoreCursor = "\0338";  // ESC 8

}  // namespace

TerminalRunProgress::TerminalRunProgress(std::FILE* terminal, ILogSink& log, std::FILE* logOut)
    : terminal_(terminal),
      log_(log),
      shows_(isatty(fileno(terminal)) != 0),
      sharedWithLog_(SameTerminal(terminal, logOut)) {}

void TerminalRunProgress::Progress(const std::string& what, uint64_t done, uint64_t total) {
    if (!shows_) return;
    const std::string text = cp1252::ToUtf8(RunProgressText(what, done, total));
    if (text == text_ && drawn_) return;
    text_ = text;
    Draw();
}

void TerminalRunProgress::Finished() {
    Erase();
    text_.clear();
}

void TerminalRunProgress::Append(const std::string& text, uint32_t colour) {
    Erase();
    log_.Append(text, colour);
    if (!text.empty()) logMidLine_ = text.back() != '\n';
    Draw();
}

void TerminalRunProgress::Draw() {
    if (!shows_ || text_.empty()) return;
    std::string bytes;
    if (!drawn_) {
        behindText_ = sharedWithLog_ && logMidLine_;
        bytes = behindText_ ? std::string(kSaveCursor) + " " : "\r";
    } else {
        bytes = behindText_ ? std::string(kRestoreCursor) + " " : "\r";
    }
    Write(bytes + text_ + kClearToEnd);
    drawn_ = true;
}

void TerminalRunProgress::Erase() {
    if (!drawn_) return;
    Write(std::string(behindText_ ? kRestoreCursor : "\r") + kClearToEnd);
    drawn_ = false;
}

void TerminalRunProgress::Write(const std::string& bytes) {
    std::fwrite(bytes.data(), 1, bytes.size(), terminal_);
    std::fflush(terminal_);
}
