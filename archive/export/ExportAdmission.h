// Which patients an export may hand out: only a patient whose record lies
// whole on the side shown. Refused, in one message box that names them:
// ids given twice, ids without a patient record ("patienten" row) on that
// side, patients with rows on the other side too (a run that stopped
// halfway, or leftovers: the record would not be whole; the consistency
// check says where), and patients of an unfinished run's journal (their
// rows may be about to move). A journal that cannot be read refuses every
// patient, and an unfinished maintenance of the archive every export from
// the archive. A database that is not connected or a failed query is a red
// line and refuses too.
#pragma once

#include <cstdint>
#include <vector>

struct ArchiveDbPair;

// source: the side to export from; other: the other side. True when every
// patient may be exported.
bool AdmitExport(ArchiveDbPair* source, ArchiveDbPair* other, const std::vector<int32_t>& pids);
