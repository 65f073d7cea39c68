// The version ladder of the archive database: table "dbv" holds the schema
// version, and every start brings the archive from the version it has to the
// current one, one step per version.
#pragma once

#include <cstdint>
#include <string>

struct ArchiveDbPair;

constexpr int32_t CurrentDbVersion = 68;

// Runs the steps from the stored version up to CurrentDbVersion on the
// archive's connection and stores the version reached. True when the archive
// is at the current version afterwards. A stored version above it (or below
// 0) logs "Versionskonflikt." in red, then the reason (VersionConflictReason),
// and changes nothing; so does a version that cannot be read ("Fehler in
// UpdateDB: " and the driver's text).
bool UpdateDB(ArchiveDbPair& archive);

// The line after "Versionskonflikt.": which archive file holds which version,
// and what to do.
std::string VersionConflictReason(const ArchiveDbPair& archive, int32_t version);
