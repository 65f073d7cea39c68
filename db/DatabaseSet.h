// The nine databases of the archived set with their fixed names and table
// lists, the two sides as linked lists, and the two list heads of the main
// window. Connections are opened elsewhere (start-up); this class only holds
// the entries and links them.
#pragma once

#include <array>
#include <string>

#include "db/ArchiveDbPair.h"

class DatabaseSet {
  public:
    // Fills the entries, links each side, and sets SourceList to the
    // Velunda side and TargetList to the archive side.
    DatabaseSet();
    DatabaseSet(const DatabaseSet&) = delete;
    DatabaseSet& operator=(const DatabaseSet&) = delete;

    // The eight Velunda databases in list order; the first is the main
    // database "data" (display name "Velunda").
    std::array<ArchiveDbPair, 8> Velunda;
    // The archive database "archiv" (display name "Archiv").
    ArchiveDbPair Archive;

    ArchiveDbPair* VelundaList;  // == &Velunda[0]
    ArchiveDbPair* ArchiveList;  // == &Archive

    // The side shown in the current view, and the other side; runs move rows
    // from SourceList to TargetList.
    ArchiveDbPair* SourceList;
    ArchiveDbPair* TargetList;

    ArchiveDbPair& MainDatabase() { return Velunda[0]; }
    // True while the archive side is the source (the archive view).
    bool ArchiveIsSource() const { return SourceList == ArchiveList; }
    // Exchanges SourceList and TargetList (the view switch).
    void SwapSides();
};

// First entry from first along Next whose table list names the table
// (whole names only, any letter case); null when none does.
ArchiveDbPair* FindDatabaseForTable(ArchiveDbPair* first, const std::string& name);
