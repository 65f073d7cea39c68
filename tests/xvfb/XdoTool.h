// xdotool, the X client that types keys into the real window as a user's
// keyboard would (through the server's XTEST extension), and finds windows.
// Each call runs it to its end; the keys reach the program's event loop once
// the caller lets it run.
#pragma once

#include <string>

class QWidget;

namespace xdo {

bool Available();
// Runs "xdotool ARGS" (at most 20 s); its exit status, standard output into *out.
int Run(const std::string& args, std::string* out = nullptr);
// Gives the keyboard focus to the window, as a window manager would.
void Focus(const QWidget* window);
// "xdotool key" for each of the keys ("Tab", "shift+F10", "Return").
void Key(const std::string& keys);
// Types the text through the keyboard, with the delay between keys.
void Type(const std::string& text, int delayMs = 30);
// Whether the window lets the window manager offer to maximise it, read from
// the _MOTIF_WM_HINTS it sets (flags, functions, decorations) with xprop.
bool OffersMaximise(const QWidget* window);

}  // namespace xdo
