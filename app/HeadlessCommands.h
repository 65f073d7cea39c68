// The archive and restore runs as commands of the headless mode.
#pragma once

#include <string>

class MainDialogCore;
class HeadlessView;

enum class HeadlessCommand { Archive, Restore };

// Switches to the view the command starts from and runs the transfer of the
// pid list. True when the run succeeded.
bool RunHeadlessCommand(MainDialogCore& core, HeadlessView& view, HeadlessCommand command,
                        const std::string& pids);
