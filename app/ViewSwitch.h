// The two views of the main window (Velunda and archive) and the refresh:
// which side is the source, the caption of F4, the list "Archivierung vom",
// each view's "Letzte Leistung" range in Tamaro.cfg, and the refill of the
// patient list. The buttons 1002, 1003 and 1006 and the doctor list call
// these; the headless front end too.
#pragma once

#include <cstdint>

class CConfigFile;
class CommandHold;
class DatabaseSet;
class IMainView;
class PatientList;

// 1 January 1990, 00:00 local time, as seconds since 1970: where the
// admission range begins, and the Velunda view's service range unless
// Tamaro.cfg holds one.
int64_t Jan1990Local();

// Sets the Velunda view's "Letzte Leistung" range as Tamaro.cfg holds it;
// by default from 1 January 1990 to a year before now.
void ShowVelundaRange(CConfigFile& config, IMainView& view);

class ViewSwitch {
  public:
    ViewSwitch(DatabaseSet& set, CConfigFile& config, PatientList& list, const CommandHold& hold)
        : set_(set), config_(config), list_(list), hold_(hold) {}

    // Button 1002. Nothing happens when the Velunda view is shown already.
    void ShowVelunda(IMainView& view);
    // Button 1003. Nothing happens when the archive view is shown already;
    // without an archive connection the list is only emptied.
    void ShowArchive(IMainView& view);
    // Button 1006 and a choice in the doctor list: refill, then the focus
    // back to the list. Each of the three first takes the dates typed into
    // the pickers; it refuses (saying so) while a run or a list fill is in
    // progress or a typed date is refused.
    void Refresh(IMainView& view);

  private:
    bool Refused(IMainView& view);

    DatabaseSet& set_;
    CConfigFile& config_;
    PatientList& list_;
    const CommandHold& hold_;
};
