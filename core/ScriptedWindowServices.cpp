#include "core/ScriptedWindowServices.h"

#include "core/Cp1252.h"

MsgResult ScriptedWindowServices::MessageBox(const std::string& text, MsgButtons buttons,
                                             MsgResult defaultButton, MsgIcon icon) {
    const bool question = buttons == MsgButtons::YesNo;
    MsgResult answer = defaultButton;
    if (!answers_.empty()) {
        answer = answers_.front();
        answers_.pop_front();
    } else if (question && questionAnswer_ != MsgResult::Ok) {
        answer = questionAnswer_;
    }
    boxes_.push_back({text, buttons, defaultButton, answer, icon});
    if (echo_) {
        if (question)
            std::fprintf(echo_, "[Frage] %s\n[Antwort] %s\n", cp1252::ToUtf8(text).c_str(),
                         answer == MsgResult::Yes ? "Ja" : "Nein");
        else
            std::fprintf(echo_, "[Meldung] %s\n", cp1252::ToUtf8(text).c_str());
        std::fflush(echo_);
    }
    return answer;
}

std::vector<std::string> ScriptedWindowServices::Texts() const {
    std::vector<std::string> out;
    for (const auto& b : boxes_) out.push_back(b.text);
    return out;
}
