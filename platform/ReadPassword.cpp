#include "platform/ReadPassword.h"

#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>

#include "platform/StopSignals.h"

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
    bool stopped = false;
    if (terminal) {
        // Typed at a terminal: read byte by byte, and give up when the
        // program is asked to end (Ctrl+C), which no handler does here.
        EchoOff quiet(fileno(in));
        while (true) {
            pollfd fds[2] = {{fileno(in), POLLIN, 0}, {stopsignals::Fd(), POLLIN, 0}};
            if (::poll(fds, fds[1].fd >= 0 ? 2 : 1, -1) < 0) {
                if (errno == EINTR) continue;
                break;
            }
            if (fds[1].fd >= 0 && (fds[1].revents & POLLIN) && stopsignals::Requested()) {
                stopped = true;
                break;
            }
            char c;
            const ssize_t n = ::read(fileno(in), &c, 1);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) break;
            any = true;
            if (c == '\n') break;
            line += c;
        }
    } else {
        for (int c; (c = std::fgetc(in)) != EOF;) {
            any = true;
            if (c == '\n') break;
            line += char(c);
        }
    }
    if (stopped) {
        line.clear();
        if (terminal) std::fputc('\n', promptOut);
        return false;
    }
    if (terminal) std::fputc('\n', promptOut);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return any && !std::ferror(in);
}
