// What the engine asks of the window system: message boxes, the wait cursor.
// The Qt window installs its implementation; tests and the headless mode
// install a ScriptedWindowServices.
#pragma once

#include <string>

enum class MsgButtons { Ok, YesNo };
enum class MsgResult { Ok, Yes, No };
// The symbol beside the text: a plain message, a refusal the user can mend,
// or a failure. A question (YesNo) always carries the question mark.
enum class MsgIcon { Information, Warning, Error };

class IWindowServices {
public:
    virtual ~IWindowServices() = default;
    // text is CP1252. For YesNo, defaultButton is Yes or No.
    virtual MsgResult MessageBox(const std::string& text, MsgButtons buttons,
                                 MsgResult defaultButton, MsgIcon icon) = 0;
    virtual void BeginWaitCursor() = 0;
    virtual void EndWaitCursor() = 0;
};

void SetWindowServices(IWindowServices* services);  // not owned
IWindowServices& WindowServices();  // a scripted stand-in when none is installed

// An OK message box.
void ShowMessage(const std::string& text);
// An OK message box for a refusal that the user can mend (tick rows, end a
// program) and for a failure (a wrong password, a database error).
void ShowWarning(const std::string& text);
void ShowError(const std::string& text);
// A Yes/No question; true when the answer is Yes.
bool AskYesNo(const std::string& text, bool defaultYes);

// Shows the wait cursor for the lifetime of the object, on every path.
class WaitCursor {
public:
    WaitCursor() { WindowServices().BeginWaitCursor(); }
    ~WaitCursor() { WindowServices().EndWaitCursor(); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
};
