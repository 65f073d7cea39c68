// The patients that a headless command names on its command line ("12,40,7")
// instead of ticking rows, checked before its run so that a command line can
// do nothing that the window would not let a user do.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct ArchiveDbPair;

// Decimal patient ids (0 to 2147483647) joined by single commas, nothing
// else. False for any other text; pids is then empty.
bool ParsePidList(const std::string& text, std::vector<int32_t>& pids);

// The ids joined by "," as the runs take them.
std::string JoinPids(const std::vector<int32_t>& pids);

// Refuses, in one message box that names them, ids given twice, ids without
// a patient in the source side's main database, and, with openBusiness (the
// Velunda view), ids of patients that the Velunda list hides for open
// business. participle completes "Diese Patienten können nicht ... werden"
// ("archiviert", "restauriert", "gelöscht"). A failed query is reported in
// red and refuses too. True when the run may start.
bool AdmitGivenPids(ArchiveDbPair* source, bool openBusiness, const std::vector<int32_t>& pids,
                    const std::string& participle);

// The patient that a display command (--info) names: refused, in a message
// box that names it, when the source side's main database does not hold it;
// a failed query is reported in red. Nothing is started either way, so the
// refusal does not say so. True when the patient may be shown.
bool AdmitShownPatient(ArchiveDbPair* source, int32_t pid);
