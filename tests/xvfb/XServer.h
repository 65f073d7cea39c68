// A private X server (Xvfb) for the tests of this program, on a display
// number that the server picks itself, ended with the test process.
#pragma once

#include <sys/types.h>

#include <string>

class XServer {
  public:
    XServer() = default;
    ~XServer();
    XServer(const XServer&) = delete;
    XServer& operator=(const XServer&) = delete;

    // Starts Xvfb and sets DISPLAY; false (with Why()) when it cannot start.
    bool Start();
    const std::string& Why() const { return why_; }

  private:
    pid_t pid_ = -1;
    std::string why_;
};
