#include "archive/export/RecordJson.h"

#include <cstdio>
#include <ctime>

#include "archive/export/RecordCsv.h"
#include "archive/export/ValueText.h"
#include "core/Cp1252.h"

namespace {

// A JSON string of UTF-8 text.
std::string Quoted(const std::string& utf8) {
    std::string out = "\"";
    for (unsigned char c : utf8) {
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (c < 0x20 || c == 0x7F) {
                    char escaped[8];
                    std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
                    out += escaped;
                } else {
                    out += char(c);
                }
        }
    }
    return out + "\"";
}

std::string Quoted1252(const std::string& text) {
    return Quoted(cp1252::ToUtf8(text));
}

std::string Value(const PatientRecord& record, const AttachmentNames& names, size_t t, size_t r,
                  size_t c) {
    const RecordValue& v = record.tables[t].rows[r][c];
    switch (v.kind) {
        case ValueKind::Null:
            return "null";
        case ValueKind::Binary: {
            const std::string* name = names.Name(t, r, c);
            return "{\"file\": " + Quoted1252(name ? *name : std::string()) +
                   ", \"size\": " + std::to_string(v.text.size()) + "}";
        }
        case ValueKind::Boolean:
            return IsoValueText(v);
        default:
            return IsJsonNumber(v) ? IsoValueText(v) : Quoted(IsoValueText(v));
    }
}

}  // namespace

std::string IsoLocalTime(int64_t seconds) {
    const time_t t = time_t(seconds);
    tm local{};
    localtime_r(&t, &local);
    char text[40];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S%z", &local);
    std::string s = text;
    // "+0100" -> "+01:00", the form ISO 8601's extended format takes.
    if (s.size() >= 5) s.insert(s.size() - 2, ":");
    return s;
}

std::string PatientJson(const PatientRecord& record, const AttachmentNames& names) {
    std::string json = "{\n  \"pid\": " + std::to_string(record.pid) +
                       ",\n  \"side\": " + Quoted1252(record.side) + ",\n  \"databases\": {";
    std::string database;
    for (size_t t = 0; t < record.tables.size(); ++t) {
        const RecordTable& table = record.tables[t];
        const bool first = database.empty();
        if (table.database != database) {
            if (!first) json += "\n    }";
            json += std::string(first ? "" : ",") + "\n    " + Quoted1252(table.database) + ": {";
            database = table.database;
        } else {
            json += ",";
        }
        json += "\n      " + Quoted1252(table.table) + ": {\n        \"columns\": [";
        for (size_t c = 0; c < table.columns.size(); ++c)
            json += std::string(c ? ",\n          " : "\n          ") +
                    "{\"name\": " + Quoted1252(table.columns[c].name) +
                    ", \"type\": " + Quoted(ColumnTypeName(table.columns[c])) + "}";
        json += "\n        ],\n        \"rows\": [";
        for (size_t r = 0; r < table.rows.size(); ++r) {
            json += r ? ",\n          {" : "\n          {";
            for (size_t c = 0; c < table.columns.size(); ++c)
                json += std::string(c ? ", " : "") + Quoted1252(table.columns[c].name) + ": " +
                        Value(record, names, t, r, c);
            json += "}";
        }
        json += table.rows.empty() ? "]\n      }" : "\n        ]\n      }";
    }
    if (!database.empty()) json += "\n    }";
    return json + "\n  }\n}\n";
}

std::string ManifestJson(const PatientRecord& record, const ExportContext& context,
                         const std::vector<WrittenFile>& files) {
    std::string json = "{\n  \"format\": \"Tamaro-Patientenakte 1\"";
    json += ",\n  \"program\": " + Quoted1252(context.program);
    json += ",\n  \"version\": " + Quoted(context.version);
    json += ",\n  \"created\": " + Quoted(IsoLocalTime(context.created));
    json += ",\n  \"user\": {\"login\": " + Quoted1252(context.login) +
            ", \"lid\": " + std::to_string(context.lid) +
            ", \"account\": " + Quoted1252(context.account) + "}";
    json += ",\n  \"practice\": {\"dataFolder\": " + Quoted1252(context.practice) + "}";
    json += ",\n  \"side\": " + Quoted1252(record.side);
    json += ",\n  \"pid\": " + std::to_string(record.pid);
    json += ",\n  \"tables\": [";
    for (size_t t = 0; t < record.tables.size(); ++t) {
        const RecordTable& table = record.tables[t];
        json += std::string(t ? "," : "") + "\n    {\"database\": " + Quoted1252(table.database) +
                ", \"table\": " + Quoted1252(table.table) +
                ", \"rows\": " + std::to_string(table.rows.size()) + ", \"file\": " +
                (table.rows.empty() ? std::string("null") : Quoted1252(CsvFileName(table))) + "}";
    }
    json += "\n  ],\n  \"files\": [";
    for (size_t f = 0; f < files.size(); ++f)
        json += std::string(f ? "," : "") + "\n    {\"name\": " + Quoted1252(files[f].name) +
                ", \"size\": " + std::to_string(files[f].size) +
                ", \"sha256\": " + Quoted(files[f].sha256) + "}";
    return json + "\n  ]\n}\n";
}
