// Window services without a window: every message box is recorded (and, when
// an output stream is set, printed there in UTF-8: "[Meldung] text", or for a
// question "[Frage] text" and "[Antwort] Ja|Nein"), and answered from a queue
// of scripted answers or else with its default button.
#pragma once

#include <cstdio>
#include <deque>
#include <string>
#include <vector>

#include "core/WindowServices.h"

class ScriptedWindowServices : public IWindowServices {
  public:
    struct Box {
        std::string text;  // CP1252
        MsgButtons buttons;
        MsgResult defaultButton;
        MsgResult answer;
        MsgIcon icon = MsgIcon::Information;
    };
    MsgResult MessageBox(const std::string& text, MsgButtons buttons, MsgResult defaultButton,
                         MsgIcon icon) override;
    void BeginWaitCursor() override {
        ++waitDepth_;
        ++waitCount_;
    }
    void EndWaitCursor() override { --waitDepth_; }

    void QueueAnswer(MsgResult answer) { answers_.push_back(answer); }
    // Every Yes/No question that no queued answer meets gets this answer
    // instead of its default button (the headless "--yes").
    void AnswerQuestionsWith(MsgResult answer) { questionAnswer_ = answer; }
    void SetEcho(std::FILE* out) { echo_ = out; }
    const std::vector<Box>& Boxes() const { return boxes_; }
    std::vector<std::string> Texts() const;
    void Clear() { boxes_.clear(); }
    int WaitDepth() const { return waitDepth_; }  // 0 when every cursor was restored
    int WaitCount() const { return waitCount_; }

  private:
    std::vector<Box> boxes_;
    std::deque<MsgResult> answers_;
    std::FILE* echo_ = nullptr;
    MsgResult questionAnswer_ = MsgResult::Ok;  // Ok: the default button
    int waitDepth_ = 0;
    int waitCount_ = 0;
};
