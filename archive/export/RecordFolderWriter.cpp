#include "archive/export/RecordFolderWriter.h"

#include <algorithm>

#include "archive/export/AttachmentNames.h"
#include "archive/export/RecordCsv.h"
#include "archive/export/RecordDocumentBuilder.h"
#include "archive/rows/RunCheckpoint.h"
#include "core/DocumentRenderer.h"
#include "core/RecordDocument.h"
#include "platform/PrivateFile.h"
#include "platform/PrivateFolder.h"
#include "platform/SystemError.h"

bool RecordFolderWriter::MakeFolder(const std::string& name, std::string& error) {
    int code = 0;
    if (privatefolder::Make(name.empty() ? folder_ : folder_ + "/" + name, code)) return true;
    error = (name.empty() ? folder_ : name) + ": " + SystemErrorText(code);
    return false;
}

bool RecordFolderWriter::WriteFile(const std::string& name, const std::string& content,
                                   std::string& error) {
    WrittenFile file{name, content.size(), {}};
    int code = 0;
    if (!PrivateFile::WriteWhole(folder_ + "/" + name, content, code, &file.sha256)) {
        error = name + ": " + SystemErrorText(code);
        return false;
    }
    files_.push_back(std::move(file));
    RunCheckpoint("export");
    return true;
}

bool RecordFolderWriter::Write(const PatientRecord& record, const ExportContext& context,
                               std::string& error) {
    files_.clear();
    bool data = false;
    if (!MakeFolder("", error)) return false;
    const AttachmentNames names(record);
    if (names.Count() > 0 && !MakeFolder(AttachmentNames::kFolder, error)) return false;
    for (const auto& [at, name] : names.All()) {
        const auto& [t, r, c] = at;
        if (!WriteFile(name, record.tables[t].rows[r][c].text, error)) return false;
    }
    for (size_t t = 0; t < record.tables.size(); ++t) {
        if (record.tables[t].rows.empty()) continue;
        if (!data && !MakeFolder("daten", error)) return false;
        data = true;
        if (!WriteFile(CsvFileName(record.tables[t]), TableCsv(record, t, names), error))
            return false;
    }
    if (!WriteFile(kJson, PatientJson(record, names), error)) return false;

    IDocumentRenderer* renderer = GetDocumentRenderer();
    if (!renderer) {
        error = std::string(kDocument) + ": keine Darstellung für PDF-Dokumente eingerichtet";
        return false;
    }
    std::string pdf, why;
    if (!renderer->RenderPdf(BuildRecordDocument(record, context, names), pdf, why)) {
        error = std::string(kDocument) + ": " + why;
        return false;
    }
    if (!WriteFile(kDocument, pdf, error)) return false;

    std::sort(files_.begin(), files_.end(),
              [](const WrittenFile& a, const WrittenFile& b) { return a.name < b.name; });
    int code = 0;
    if (!PrivateFile::WriteWhole(folder_ + "/" + kManifest, ManifestJson(record, context, files_),
                                 code)) {
        error = std::string(kManifest) + ": " + SystemErrorText(code);
        return false;
    }
    RunCheckpoint("export");
    return true;
}
