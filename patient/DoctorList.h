// The doctors of the practice (table "arzt" of the main Velunda database) in
// a drop-down list: "titel name, vorname" with the doctor's aid as item data.
#pragma once

class IComboBox;
class ODBCConnection;

// Empties the box and fills it with the doctors whose aid is above 1, by
// name; a doctor with bit 0x20 in "arten" is left out unless he is the
// current doctor (PresetAid), whose entry is selected. When that leaves the
// box empty, every doctor is listed (ids 0 and 1 too). Without a current
// doctor in the box the first entry is selected. A closed connection leaves
// the box empty.
void FillDoctorList(ODBCConnection& connection, IComboBox& combo);
