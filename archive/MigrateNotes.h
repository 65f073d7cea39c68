// Notes of old archives: rows of table "notizen" become entries of category 4
// in table "data", with record ids from the shared counter "karteiData".
#pragma once

struct ArchiveDbPair;

// Moves every note of the archive's "notizen" into "data" and then deletes
// the moved notes from "notizen". A note that could not be written (no record
// id, or its insert failed) stays in "notizen" for the next start, and so does
// every note that shares its number, since the delete goes by number; after a
// read that broke off, a number is deleted only when the table holds no other
// note of it. Does nothing when the archive is not connected or has no table
// "notizen".
void MigrateNotes(ArchiveDbPair& archive);
