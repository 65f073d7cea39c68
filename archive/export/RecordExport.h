// Hands out the records of patients from the side shown, for a patient's
// request for a copy or a move to another doctor: one folder per patient
// (RecordFolderWriter) in a target folder that is new or empty. Nothing is
// changed in the databases but one audit entry per record handed out.
//
// Safe for medical data: folders 0700 and files 0600; nothing existing is
// ever overwritten; everything is written into a hidden folder of the
// target (".tamaro-export-XXXXXX") and each patient's folder moved to its
// name only once every record is complete, so that an export that is killed
// leaves nothing that looks complete, and one that fails (a full disk, an
// unreadable table) removes what it wrote and says why in a red line.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "archive/export/ExportContext.h"

class DatabaseSet;

struct ExportedRecord {
    int32_t pid = 0;
    std::string folder;  // the patient's folder, code page 1252
    int64_t rows = 0;
    size_t files = 0;  // with the manifest
};

struct ExportReport {
    std::vector<ExportedRecord> records;
    bool started = false;  // got past the refusals
};

// Exports pids from set.SourceList into target (code page 1252). Refusals
// are message boxes, written before anything: a target that is a file, a
// folder that is not empty or cannot be read or made, another run holding
// the run lock (held by the export itself while it reads, so that no run
// moves a patient halfway through), and the patients AdmitExport refuses.
// The progress log gets a blue heading, one line per patient, the total
// and the ready line. True when every record was handed out.
bool ExportRecords(DatabaseSet& set, const std::vector<int32_t>& pids, const std::string& target,
                   const ExportContext& context, ExportReport& report);

// The audit entry of one record handed out (category 2): "Patientenakte
// exportiert (Patient 12, Archiv)."
std::string ExportAuditText(int32_t pid, const std::string& side);
