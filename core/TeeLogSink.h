// A log sink that hands every text to two sinks: the headless front end
// prints the log and keeps it for saving at the end.
#pragma once

#include "core/LogSink.h"

class TeeLogSink : public ILogSink {
  public:
    TeeLogSink(ILogSink& first, ILogSink& second) : first_(first), second_(second) {}
    void Append(const std::string& text, uint32_t colour) override {
        first_.Append(text, colour);
        second_.Append(text, colour);
    }

  private:
    ILogSink& first_;
    ILogSink& second_;
};
