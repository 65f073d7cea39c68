#include "tools/OldSchemas.h"

#include <cstdlib>
#include <filesystem>
#include <vector>

#include "tools/OdbcSession.h"
#include "tools/PracticeGenerator.h"
#include "tools/PracticeKind.h"
#include "tools/SchemaScript.h"
#include "tools/SchemaText.h"

namespace fs = std::filesystem;

namespace {

constexpr int kCurrentVersion = 68;
constexpr int kOldestFirebirdVersion = 47;

bool KindOfFile(const std::string& file, PracticeKind& kind, std::string& error) {
    const fs::path ext = fs::path(file).extension();
    if (ext == ".fdb") {
        kind = PracticeKind::Firebird;
    } else if (ext == ".mdb") {
        kind = PracticeKind::Access;
    } else {
        error = "the database must end in .fdb or .mdb: " + file;
        return false;
    }
    return true;
}

bool RunAll(OdbcSession& session, const std::vector<std::string>& statements,
            const std::string& file, std::string& error) {
    for (const std::string& sql : statements) {
        if (!session.Execute(sql)) {
            error = file + ": " + session.LastError() + "\n" + sql;
            return false;
        }
    }
    return true;
}

// The number of a "§STEP n§" marker, or -1 for an ordinary statement.
int StepMarker(const std::string& statement) {
    const std::string open = "§STEP ";
    if (statement.rfind(open, 0) != 0) return -1;
    return std::atoi(statement.c_str() + open.size());
}

}  // namespace

bool WriteOldArchive(const std::string& file, int version, std::string& error) {
    PracticeKind kind;
    if (!KindOfFile(file, kind, error)) return false;
    if (version < 0 || version > kCurrentVersion) {
        error = "the version must lie between 0 and 68";
        return false;
    }
    if (kind == PracticeKind::Firebird && version < kOldestFirebirdVersion) {
        error = "archives below version 47 exist only as .mdb files";
        return false;
    }
    if (!PracticeGenerator::WriteTemplate(file, error)) return false;

    std::vector<std::string> undo;
    if (kind == PracticeKind::Firebird) undo.push_back("create domain memo as blob sub_type text");
    for (const std::string& s : SchemaScript::Split(SchemaText("archiv-undo"))) {
        const int marker = StepMarker(s);
        if (marker >= 0 && marker < version) break;
        if (marker < 0) undo.push_back(SchemaScript::Translate(s, kind));
    }
    if (version >= 2) undo.push_back("update dbv set val=" + std::to_string(version));

    OdbcSession session;
    const std::string absolute = fs::absolute(file).string();
    if (!SQL_SUCCEEDED(session.Connect(CreateConnectionString(kind, absolute)))) {
        error = "cannot open " + file + ": " + session.LastError();
        return false;
    }
    return RunAll(session, undo, file, error);
}

bool ApplySchemaScript(const std::string& name, const std::string& file, std::string& error) {
    PracticeKind kind;
    if (!KindOfFile(file, kind, error)) return false;
    const char* text = SchemaText(name);
    if (!text) {
        error = "no schema script " + name;
        return false;
    }
    if (!fs::exists(file)) {
        error = "no database " + file;
        return false;
    }
    std::vector<std::string> statements;
    for (const std::string& s : SchemaScript::Split(text))
        statements.push_back(SchemaScript::Translate(s, kind));
    OdbcSession session;
    const std::string connectionString = CreateConnectionString(kind, fs::absolute(file).string());
    if (!SQL_SUCCEEDED(session.Connect(connectionString))) {
        error = "cannot open " + file + ": " + session.LastError();
        return false;
    }
    return RunAll(session, statements, file, error);
}
