// Notes of old archives: rows of table "notizen" become entries of category 4
// in table "data", with record ids from the shared counter "karteiData".
#pragma once

struct ArchiveDbPair;

// Moves every note of the archive's "notizen" into "data" and then deletes
// exactly the moved notes from "notizen". A note that could not be written
// (no record id, or its insert failed) stays in "notizen" for the next start.
// The moved notes are deleted by number where no other note has it (after a
// read that broke off: where the table holds no other note of it), and the
// others by their whole rows; a moved note whose row the engine cannot tell
// from one that stays is taken back out of "data" and stays too. Does
// nothing when the archive is not connected or has no table "notizen".
void MigrateNotes(ArchiveDbPair& archive);
