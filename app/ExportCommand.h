// "Patientenakte exportieren…" of the window menu and Shift+F5, and
// "--export PIDS --to DIR" of the headless mode: hands out the records of
// patients of the view shown (RecordExport), for a user who has logged in,
// while no other command of the window is at work. Grey during a run, like
// the check.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "archive/export/RecordExport.h"

class CommandHold;
class DatabaseSet;
class IMainView;

class ExportCommand {
  public:
    ExportCommand(DatabaseSet& set, CommandHold& hold) : set_(set), hold_(hold) {}

    // The entry's text in the window menu.
    static const char* const MenuText;

    // The window: the ticked patients of the list, or the highlighted one
    // when none is ticked. chooseFolder asks for the target folder and gives
    // its name as the file system writes it (UTF-8), empty when the user
    // cancelled. True when every record was handed out.
    bool OnExport(IMainView& view, bool loggedIn, const std::function<std::string()>& chooseFolder);
    // The headless mode: the patients of a pid list ("12,40,7") into the
    // folder target (as the file system writes it).
    bool ExportGiven(IMainView& view, bool loggedIn, const std::string& pids,
                     const std::string& target, ExportReport& report);

  private:
    bool Refused(bool loggedIn) const;
    bool Export(IMainView& view, const std::vector<int32_t>& pids, const std::string& target,
                ExportReport& report);
    ExportContext Context() const;

    DatabaseSet& set_;
    CommandHold& hold_;
};
