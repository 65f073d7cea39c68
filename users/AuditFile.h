// The audit log's fallback file "log.save": one queued insert per line, line
// breaks inside a statement stored as 0x01 (LF) and 0x02 (CR). The file lies
// in the practice's shared data folder, which every workstation can write,
// so a line is taken back only when it has exactly the shape of an insert
// that the audit log writes: anything else would run with the program's
// rights on the main database.
#pragma once

#include <string>
#include <vector>

class AuditFile {
  public:
    // The start of every audit insert, up to its first value.
    static const char* const kInsertStart;

    // True when sql is kInsertStart, ten decimal 32-bit integers as "%d"
    // writes them, two string literals with every "'" inside doubled, each
    // value behind ", ", and the closing ")", and nothing else.
    static bool IsAuditInsert(const std::string& sql);

    // The file's text for the statements: each encoded, followed by CR LF.
    static std::string Encode(const std::vector<std::string>& statements);

    // The statements of the file's text, decoded, in file order. Lines may
    // end in CR LF or LF; empty lines are skipped; lines that are no audit
    // insert are left out and go to *refused (decoded) when given.
    static std::vector<std::string> Decode(const std::string& content,
                                           std::vector<std::string>* refused);
};
