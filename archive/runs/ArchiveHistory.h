// The history of archiving runs: table "archist" of the archive database,
// shown in the drop-down list "Archivierung vom".
#pragma once

#include <cstdint>
#include <string>

struct ArchiveDbPair;
class IComboBox;

// Refills the list: "---" (item data 0), then one item per stored run,
// newest first, shown as "dd.mm.yy hh:mm" (year modulo 1000) with the run's
// datum as item data; selects "---". A closed archive leaves "---" alone,
// unselected; a failed query is logged in red.
void FillArcHist(ArchiveDbPair& archive, IComboBox& combo);

// The pid list stored for the run with this datum; empty when none is stored
// or the query fails (logged in red).
std::string GetArcPIDsFromDate(ArchiveDbPair& archive, int32_t datum);

// The item text of one run: "%02d.%02d.%02d %02d:%02d" in local time.
std::string ArcHistText(int32_t datum);
