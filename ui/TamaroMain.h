// The program's start: the Qt application, the main window, and the
// services the engine reaches the window through.
#pragma once

int RunTamaro(int argc, char** argv);
