// Writes the files of one patient's record into a folder of its own:
//   Patientenakte.pdf            the readable document (RecordDocumentBuilder)
//   daten/<database>.<table>.csv one per table with rows (RecordCsv)
//   patient.json                 the rows typed (RecordJson)
//   anhaenge/...                 every binary value as a file (AttachmentNames)
//   manifest.json                written last: every other file's size and
//                                SHA-256
// Folders 0700, files 0600 (PrivateFile); the caller forces them to the
// disk before the folder gets its final name.
#pragma once

#include <string>
#include <vector>

#include "archive/export/ExportContext.h"
#include "archive/export/PatientRecord.h"
#include "archive/export/RecordJson.h"

class RecordFolderWriter {
  public:
    // folder: made here; its parent must exist. Code page 1252.
    explicit RecordFolderWriter(std::string folder) : folder_(std::move(folder)) {}

    // False with the reason (naming the file) in error; what was written
    // stays for the caller to remove.
    bool Write(const PatientRecord& record, const ExportContext& context, std::string& error);

    // Every file written, by name, without the manifest.
    const std::vector<WrittenFile>& Files() const { return files_; }

    static constexpr const char* kDocument = "Patientenakte.pdf";
    static constexpr const char* kJson = "patient.json";
    static constexpr const char* kManifest = "manifest.json";

  private:
    bool MakeFolder(const std::string& name, std::string& error);
    bool WriteFile(const std::string& name, const std::string& content, std::string& error);

    std::string folder_;
    std::vector<WrittenFile> files_;
};
