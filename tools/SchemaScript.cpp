#include "tools/SchemaScript.h"

#include <algorithm>
#include <cctype>

#include "core/AsciiText.h"
#include "tools/SchemaText.h"

namespace {

using asciitext::Lower;
using asciitext::Trim;

void ReplaceAll(std::string& s, const std::string& from, const std::string& to) {
    for (size_t pos = s.find(from); pos != std::string::npos; pos = s.find(from, pos + to.size()))
        s.replace(pos, from.size(), to);
}

// Word after `pos`, ended by a blank, tab, line end or "(".
std::string WordAt(const std::string& s, size_t pos) {
    while (pos < s.size() && std::isspace(static_cast<unsigned char>(s[pos]))) ++pos;
    size_t end = pos;
    while (end < s.size() && !std::isspace(static_cast<unsigned char>(s[end])) && s[end] != '(')
        ++end;
    return s.substr(pos, end - pos);
}

const char* const kArchivedMarker = "§ARCHIVED_TABLES§";

// True when the create statement gives its table an index led by pid: an
// index on "(pid" or a primary key "primary key (pid" of the column alone
// or first.
bool LeadsWithPid(const std::string& statement) {
    std::string l = Lower(statement);
    l.erase(std::remove_if(l.begin(), l.end(), [](unsigned char c) { return std::isspace(c); }),
            l.end());
    if (l.rfind("createindex", 0) == 0 || l.rfind("createuniqueindex", 0) == 0) {
        const size_t open = l.find('(');
        return open != std::string::npos && l.compare(open + 1, 3, "pid") == 0 &&
               (l[open + 4] == ')' || l[open + 4] == ',');
    }
    const size_t key = l.find("primarykey(pid");
    return key != std::string::npos && (l[key + 14] == ')' || l[key + 14] == ',');
}

}  // namespace

const std::vector<std::string>& SchemaScript::DatabaseNames() {
    static const std::vector<std::string> names = {
        "data", "ifap", "form", "ldt", "med", "rechnung", "kassenbuch", "kartei", "archiv"};
    return names;
}

const std::vector<std::string>& SchemaScript::ArchivedTables() {
    static const std::vector<std::string> tables = {
        "patienten",   "abrechnungen", "diagnosen",   "scheine",    "termine",       "docmed",
        "ausdrucke",   "ldtbericht",   "ldtnummer",   "medhistory", "rechnungen",    "kassenbuch",
        "kontingente", "felder",       "data",        "havg_pat",   "havg_patextra", "pat_kontakt",
        "itemhist",    "recall",       "terminnotiz", "dmp_form",   "dmp_pat",       "pat_unfall"};
    return tables;
}

std::vector<std::string> SchemaScript::Split(const std::string& script) {
    std::vector<std::string> out;
    std::string current;
    size_t pos = 0;
    while (pos <= script.size()) {
        size_t nl = script.find('\n', pos);
        if (nl == std::string::npos) nl = script.size();
        std::string line = script.substr(pos, nl - pos);
        pos = nl + 1;
        std::string t = Trim(line);
        if (t.empty() || t.rfind("--", 0) == 0) continue;
        if (!current.empty()) current += '\n';
        current += line;
        if (t.back() == ';') {
            std::string stmt = Trim(current);
            stmt.pop_back();
            out.push_back(Trim(stmt));
            current.clear();
        }
    }
    if (!Trim(current).empty()) out.push_back(Trim(current));
    return out;
}

std::string SchemaScript::Translate(const std::string& statement, PracticeKind kind) {
    const bool fb = kind == PracticeKind::Firebird;
    std::string s = statement;
    ReplaceAll(s, "§VARCHAR§", fb ? "varchar" : "text");
    ReplaceAll(s, "§MEMO§", fb ? "blob sub_type text" : "memo");
    ReplaceAll(s, "§BOOL§", fb ? "smallint" : "bit");
    ReplaceAll(s, "§BYTE§", fb ? "smallint" : "byte");
    ReplaceAll(s, "§DOUBLE§", fb ? "double precision" : "double");
    ReplaceAll(s, "§MONEY§", fb ? "numeric(12,2)" : "double");
    ReplaceAll(s, "§BIGINT§", fb ? "bigint" : "integer");
    ReplaceAll(s, "§COUNTER§", fb ? "integer" : "counter");
    return s;
}

std::string SchemaScript::TableOf(const std::string& statement) {
    std::string l = Lower(statement);
    if (l.rfind("create table", 0) == 0) return Lower(WordAt(statement, 12));
    if (l.rfind("create index", 0) == 0 || l.rfind("create unique index", 0) == 0) {
        size_t on = l.find(" on ");
        if (on != std::string::npos) return Lower(WordAt(statement, on + 4));
    }
    return {};
}

std::vector<std::string> SchemaScript::Numbering(const std::string& statement, PracticeKind kind) {
    std::vector<std::string> out;
    if (kind != PracticeKind::Firebird) return out;
    const std::string table = TableOf(statement);
    if (table.empty() || Lower(statement).rfind("create table", 0) != 0) return out;
    const std::string marker = "§COUNTER§";
    for (size_t at = statement.find(marker); at != std::string::npos;
         at = statement.find(marker, at + marker.size())) {
        size_t end = at;
        while (end > 0 && std::isspace(static_cast<unsigned char>(statement[end - 1]))) --end;
        size_t begin = end;
        while (begin > 0 && !std::isspace(static_cast<unsigned char>(statement[begin - 1])) &&
               statement[begin - 1] != '(' && statement[begin - 1] != ',')
            --begin;
        const std::string column = Lower(statement.substr(begin, end - begin));
        const std::string gen = "g_" + table + "_" + column;
        const std::string c = "new." + column;
        out.push_back("create generator " + gen);
        out.push_back("create trigger t_" + table + "_" + column + " for " + table +
                      " active before insert position 0 as begin if (" + c + " is null) then " + c +
                      " = gen_id(" + gen + ", 1); else if (" + c + " > gen_id(" + gen +
                      ", 0)) then " + c + " = gen_id(" + gen + ", " + c + " - gen_id(" + gen +
                      ", 0)); end");
    }
    return out;
}

bool SchemaScript::Statements(const std::string& database, PracticeKind kind,
                              std::vector<std::string>& out) {
    const char* text = SchemaText(database);
    if (!text) return false;
    out.clear();
    const auto& archived = ArchivedTables();
    for (const std::string& stmt : Split(text)) {
        if (stmt != kArchivedMarker) {
            out.push_back(Translate(stmt, kind));
            for (const std::string& n : Numbering(stmt, kind)) out.push_back(n);
            continue;
        }
        // The archive takes the archived tables, with their indexes, exactly as
        // the practice scripts define them, and an index on pid for each that
        // has none led by pid: a run finds its patients' rows in the archive
        // through it (a primary key on pid is such an index too).
        std::vector<std::string> pidIndexed;
        for (const std::string& db : DatabaseNames()) {
            if (db == "archiv") continue;
            for (const std::string& s : Split(SchemaText(db))) {
                std::string table = TableOf(s);
                if (std::find(archived.begin(), archived.end(), table) != archived.end()) {
                    out.push_back(Translate(s, kind));
                    for (const std::string& n : Numbering(s, kind)) out.push_back(n);
                    if (LeadsWithPid(s)) pidIndexed.push_back(table);
                }
            }
        }
        for (const std::string& table : archived)
            if (std::find(pidIndexed.begin(), pidIndexed.end(), table) == pidIndexed.end())
                out.push_back("create index i_" + table + "_pid on " + table + " (pid)");
    }
    return true;
}
