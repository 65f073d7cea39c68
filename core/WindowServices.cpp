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
    WindowServices().MessageBox(text, MsgButtons::Ok, MsgResult::Ok, MsgIcon::Information);
}

void ShowWarning(const std::string& text) {
    WindowServices().MessageBox(text, MsgButtons::Ok, MsgResult::Ok, MsgIcon::Warning);
}

void ShowError(const std::string& text) {
    WindowServices().MessageBox(text, MsgButtons::Ok, MsgResult::Ok, MsgIcon::Error);
}

bool AskYesNo(const std::string& text, bool defaultYes) {
    return WindowServices().MessageBox(text, MsgButtons::YesNo,
                                       defaultYes ? MsgResult::Yes : MsgResult::No,
                                       MsgIcon::Information) == MsgResult::Yes;
}
