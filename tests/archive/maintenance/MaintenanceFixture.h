// The archive fixture with what the start-up maintenance tests need: an
// archive database of an older release in place of the template's, changes
// applied to a live database, both made by tamaro-mkpractice from the
// project's SQL, and the statements the maintenance hands to the database.
#pragma once

#include <string>
#include <vector>

#include "tests/archive/ArchiveFixture.h"

namespace archivetest {

class MaintenanceTest : public ArchiveTest {
  protected:
    void SetUp() override;
    void TearDown() override;

    // Replaces the archive database by one at schema version `version`.
    void OldArchive(int version);
    // Runs the embedded script (schema/<name>.sql) on the database db.
    void Apply(ArchiveDbPair& db, const std::string& script);
    // The version stored in the archive's "dbv", -1 without a row.
    int StoredVersion();
    std::vector<std::string> ColumnNames(ArchiveDbPair& db, const std::string& table);

    // Statements given to RunSQL or ExecuteSQL since the last Clear().
    std::vector<std::string> statements_;

  private:
    void RunTool(ArchiveDbPair& db, const std::string& args);
};

}  // namespace archivetest
