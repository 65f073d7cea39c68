#include "archive/export/RecordCsv.h"

#include "archive/export/ValueText.h"
#include "core/Cp1252.h"

namespace {

void AppendField(std::string& line, const std::string& utf8, bool quote) {
    if (!quote) quote = utf8.find_first_of(",\"\r\n") != std::string::npos;
    if (!quote) {
        line += utf8;
        return;
    }
    line += '"';
    for (char c : utf8) {
        if (c == '"') line += '"';
        line += c;
    }
    line += '"';
}

}  // namespace

std::string CsvFileName(const RecordTable& table) {
    return "daten/" + table.database + "." + table.table + ".csv";
}

std::string TableCsv(const PatientRecord& record, size_t t, const AttachmentNames& names) {
    const RecordTable& table = record.tables[t];
    std::string csv;
    for (size_t c = 0; c < table.columns.size(); ++c) {
        if (c > 0) csv += ',';
        AppendField(csv, cp1252::ToUtf8(table.columns[c].name), false);
    }
    csv += "\r\n";
    for (size_t r = 0; r < table.rows.size(); ++r) {
        const std::vector<RecordValue>& row = table.rows[r];
        for (size_t c = 0; c < row.size(); ++c) {
            if (c > 0) csv += ',';
            const RecordValue& v = row[c];
            if (const std::string* name = names.Name(t, r, c))
                AppendField(csv, cp1252::ToUtf8(*name), false);
            else
                AppendField(csv, IsoValueText(v), v.kind == ValueKind::Text && v.text.empty());
        }
        csv += "\r\n";
    }
    return csv;
}
