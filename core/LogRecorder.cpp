#include "core/LogRecorder.h"

void LogRecorder::Append(const std::string& text, uint32_t colour) {
    raw_ += text;
    if (colour != 0) current_ = colour;
    if (!text.empty()) {
        if (runs_.empty() || runs_.back().colour != current_)
            runs_.push_back({std::string(), current_, current_ != 0});
        runs_.back().text += text;
    }
    bool newSegment = true;
    for (size_t i = 0; i < text.size(); ++i) {
        if (!openStarted_) {
            open_.colour = current_;
            openStarted_ = true;
            newSegment = true;
        }
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            done_.push_back(open_);
            open_ = Line{};
            openStarted_ = false;
            ++i;
        } else {
            open_.text += text[i];
            if (newSegment) open_.segments.emplace_back(std::string(), current_);
            open_.segments.back().first += text[i];
            newSegment = false;
        }
    }
}

std::vector<LogRecorder::Line> LogRecorder::Lines() const {
    std::vector<Line> all = done_;
    if (openStarted_ && !open_.text.empty()) all.push_back(open_);
    return all;
}

std::vector<std::string> LogRecorder::Texts() const {
    std::vector<std::string> out;
    for (const auto& l : Lines()) out.push_back(l.text);
    return out;
}

void LogRecorder::Clear() {
    raw_.clear();
    runs_.clear();
    current_ = 0;
    done_.clear();
    open_ = Line{};
    openStarted_ = false;
}
