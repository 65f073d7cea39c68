#include "core/WindowServices.h"

#include "core/ScriptedWindowServices.h"

namespace {
IWindowServices* g_services = nullptr;
}

void SetWindowServices(IWindowServices* services) { g_services = services; }

IWindowServices& WindowServices() {
    static ScriptedWindowServices fallback;
    return g_services ? *g_services : fallback;
}

void ShowMessage(const std::string& text) {
    WindowServices().MessageBox(text, MsgButtons::Ok, MsgResult::Ok);
}

bool AskYesNo(const std::string& text, bool defaultYes) {
    return WindowServices().MessageBox(text, MsgButtons::YesNo,
                                       defaultYes ? MsgResult::Yes : MsgResult::No) ==
           MsgResult::Yes;
}
