#include "platform/ReadPassword.h"

#include <termios.h>
#include <unistd.h>

namespace {

// Turns the terminal's echo off for its lifetime.
class EchoOff {
  public:
    explicit EchoOff(int fd) : fd_(fd) {
        if (tcgetattr(fd_, &saved_) != 0) return;
        termios quiet = saved_;
        quiet.c_lflag &= ~tcflag_t(ECHO);
        active_ = tcsetattr(fd_, TCSAFLUSH, &quiet) == 0;
    }
    ~EchoOff() {
        if (active_) tcsetattr(fd_, TCSAFLUSH, &saved_);
    }
    EchoOff(const EchoOff&) = delete;
    EchoOff& operator=(const EchoOff&) = delete;

  private:
    int fd_;
    termios saved_{};
    bool active_ = false;
};

}  // namespace

bool ReadPasswordLine(std::FILE* in, std::FILE* promptOut, const std::string& prompt,
                      std::string& line) {
    line.clear();
    const bool terminal = isatty(fileno(in)) != 0;
    if (terminal) {
        std::fputs(prompt.c_str(), promptOut);
        std::fflush(promptOut);
    }
    bool any = false;
    {
        EchoOff quiet(terminal ? fileno(in) : -1);
        for (int c; (c = std::fgetc(in)) != EOF;) {
            any = true;
            if (c == '\n') break;
            line += char(c);
        }
    }
    if (terminal) std::fputc('\n', promptOut);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return any && !std::ferror(in);
}
