// Who hands a record out, when and with what: named in every record's
// manifest and document.
#pragma once

#include <cstdint>
#include <string>

struct ExportContext {
    std::string program;   // "Tamaro V1.38"
    std::string version;   // "1.38.0.0"
    int64_t created = 0;   // seconds since 1970, one moment for the whole export
    std::string login;     // the Velunda user logged in (code page 1252)
    int32_t lid = -1;      // and its user id
    std::string account;   // "<system user>:<workstation>", as the audit log names it
    std::string practice;  // the practice's data folder (code page 1252)
};
