// The progress log on a terminal or in a pipe: each line in UTF-8, with its
// colour as an ANSI colour when the stream is a terminal. Like the window's
// log, a colour stays in force for later lines written with colour 0.
#pragma once

#include <cstdio>

#include "core/LogSink.h"

class TerminalLogSink : public ILogSink {
  public:
    explicit TerminalLogSink(std::FILE* out);
    void Append(const std::string& text, uint32_t colour) override;

  private:
    std::FILE* out_;
    bool ansi_;
    uint32_t current_ = 0;
};
