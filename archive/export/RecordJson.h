// The machine-readable files of a handed-out record, as UTF-8 JSON text.
//
// patient.json: {"pid", "side", "databases": {<database>: {<table>:
// {"columns": [{"name", "type"}...], "rows": [{<column>: value}...]}}}},
// every table of the side, also those without rows. Numbers are numbers
// (decimals exactly as stored), dates and times ISO 8601 strings, flags
// true/false, null is null, a binary value {"file": <attachment>, "size":
// <bytes>}.
//
// manifest.json: "format", "program", "version", "created", "user",
// "practice", "side", "pid", "tables" (every table with its row count and
// its CSV file, null without rows) and "files" (every other file of the
// folder with "size" and "sha256").
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "archive/export/AttachmentNames.h"
#include "archive/export/ExportContext.h"
#include "archive/export/PatientRecord.h"

struct WrittenFile {
    std::string name;  // relative to the record's folder, code page 1252
    uint64_t size = 0;
    std::string sha256;
};

std::string PatientJson(const PatientRecord& record, const AttachmentNames& names);
std::string ManifestJson(const PatientRecord& record, const ExportContext& context,
                         const std::vector<WrittenFile>& files);
// "2025-01-31T14:30:00+01:00": the moment in this time zone.
std::string IsoLocalTime(int64_t seconds);
