#include "archive/export/RecordDocumentBuilder.h"

#include "archive/export/ValueText.h"

namespace {

std::string Entries(size_t n) {
    return GermanCount(n) + (n == 1 ? " Eintrag" : " Einträge");
}

// "aus Velunda", "aus dem Archiv".
std::string FromSide(const std::string& side) {
    return side == "Archiv" ? "aus dem Archiv" : "aus " + side;
}

}  // namespace

RecordDocument BuildRecordDocument(const PatientRecord& record, const ExportContext& context,
                                   const AttachmentNames& names) {
    RecordDocument doc;
    doc.title = "Patientenakte";
    doc.creator = context.program;
    doc.masterData.push_back({"Patientennummer", std::to_string(record.pid)});
    for (const PatientInfoLine& line : record.masterData)
        doc.masterData.push_back({line.label, line.value});

    size_t filled = 0;
    for (const RecordTable& t : record.tables)
        if (!t.rows.empty()) ++filled;
    doc.notes.push_back(
        "Exportiert am " + GermanLocalDay(context.created, true) + " " + FromSide(record.side) +
        (context.login.empty() ? "" : " von " + context.login) + " mit " + context.program + ".");
    const size_t empty = record.tables.size() - filled;
    std::string contents = "Die Akte enthält " + Entries(size_t(record.Rows())) + " in " +
                           std::to_string(filled) + (filled == 1 ? " Tabelle" : " Tabellen");
    if (empty == 1)
        contents += "; die übrige Tabelle enthält keine Einträge des Patienten.";
    else if (empty > 1)
        contents += "; die übrigen " + std::to_string(empty) +
                    " Tabellen enthalten keine Einträge des Patienten.";
    else
        contents += ".";
    doc.notes.push_back(contents +
                        " Dieselben Daten liegen maschinenlesbar in patient.json und im Ordner "
                        "daten, Anhänge im Ordner anhaenge; manifest.json nennt Größe und "
                        "Prüfsumme (SHA-256) jeder Datei.");

    for (size_t t = 0; t < record.tables.size(); ++t) {
        const RecordTable& table = record.tables[t];
        if (table.rows.empty()) continue;
        DocumentSection section;
        section.heading = table.database + "." + table.table;
        section.caption = Entries(table.rows.size());
        for (size_t r = 0; r < table.rows.size(); ++r) {
            DocumentEntry entry;
            entry.heading =
                "Eintrag " + GermanCount(r + 1) + " von " + GermanCount(table.rows.size());
            for (size_t c = 0; c < table.columns.size(); ++c) {
                const RecordValue& v = table.rows[r][c];
                std::string value;
                if (const std::string* name = names.Name(t, r, c))
                    value = "Anhang " + *name + " (" + GermanCount(v.text.size()) + " Bytes)";
                else
                    value = GermanValueText(v, table.columns[c]);
                entry.fields.push_back({table.columns[c].name, std::move(value)});
            }
            section.entries.push_back(std::move(entry));
        }
        doc.sections.push_back(std::move(section));
    }
    doc.footer = "Patientenakte " + std::to_string(record.pid) + " · Export vom " +
                 GermanLocalDay(context.created, false) + " " + FromSide(record.side) + " · " +
                 context.program;
    doc.pageLabel = "Seite %1 von %2";
    return doc;
}
