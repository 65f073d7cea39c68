#include "tools/PracticeGenerator.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>

#include "core/FsPath.h"
#include "tools/BatchWriter.h"
#include "tools/InsertBuilder.h"
#include "tools/SchemaScript.h"
#include "tools/SeededRandom.h"

namespace fs = std::filesystem;

namespace {

constexpr int64_t kDay = 86400;
constexpr int64_t kYear = 365 * kDay;

const std::vector<std::string> kSurnames = {
    "Müller",   "Schmidt",  "Schneider", "Fischer",    "Weber",   "Meyer",    "Wagner",  "Becker",
    "Schulz",   "Hoffmann", "Schäfer",   "Koch",       "Bauer",   "Richter",  "Klein",   "Wolf",
    "Schröder", "Neumann",  "Schwarz",   "Zimmermann", "Braun",   "Krüger",   "Hofmann", "Hartmann",
    "Lange",    "Schmitt",  "Werner",    "Krause",     "Meier",   "Lehmann",  "Köhler",  "Weiß",
    "Jürgens",  "Größ",     "Bäcker",    "Özdemir",    "O'Brien", "D'Angelo", "Maaß",    "Löwe"};
const std::vector<std::string> kMaleNames = {"Jürgen",  "Günther", "Sören", "Klaus", "Peter",
                                             "Thomas",  "Jörg",    "René",  "Hans",  "Stefan",
                                             "Michael", "Andreas", "Björn", "Uwe",   "Frank"};
const std::vector<std::string> kFemaleNames = {"Anna",   "Bärbel",    "Jutta",   "Zoë",    "Maria",
                                               "Ursula", "Sabine",    "Käthe",   "Monika", "Petra",
                                               "Renée",  "Hildegard", "Susanne", "Jana",   "Gül"};
const std::vector<std::string> kTowns = {"München",  "Köln",       "Düsseldorf", "Nürnberg",
                                         "Lübeck",   "Göttingen",  "Würzburg",   "Osnabrück",
                                         "Bad Tölz", "Saarbrücken"};
const std::vector<std::string> kStreets = {"Hauptstraße",  "Schloßallee",  "Gartenweg",
                                           "Am Mühlbach",  "Lindenstraße", "Bahnhofstraße",
                                           "Kirchgäßchen", "Rosenweg"};
const std::vector<std::string> kKassen = {
    "AOK Bayern", "Techniker Krankenkasse", "Barmer", "DAK-Gesundheit", "IKK classic", "KKH"};
const std::vector<std::string> kZiffern = {"03000", "03220", "03230", "01732",
                                           "35100", "32031", "03321", "01100"};
const std::vector<std::string> kGoae = {"1", "3", "5", "7", "250", "3511"};
const std::vector<std::string> kIcd = {"J06.9", "I10.90", "E11.90", "M54.5", "K29.7",
                                       "F32.1", "J45.9",  "E78.0",  "N39.0", "R51"};
const std::vector<std::string> kNotes = {
    "Patient klagt über Rückenschmerzen seit 3 Tagen.",
    "Kontrolle in 4 Wochen; Blutdruck 135/85.",
    "Überweisung zum Orthopäden, Befund folgt.",
    "Pat. sagt: \"geht's schon besser\" – weiter so.",
    "Impfung gegen Tetanus/Diphtherie aufgefrischt.",
    "Labor: HbA1c 6,8 %; Ernährungsberatung empfohlen.",
    "Wiedervorstellung bei Fieber > 39 °C.",
    "Mehrzeilige Notiz:\r\nzweite Zeile mit ß und ä\r\ndritte Zeile."};
const std::vector<std::string> kPreparations = {"Ibuprofen 400 mg",  "Ramipril 5 mg",
                                                "Metformin 1000 mg", "Pantoprazol 20 mg",
                                                "L-Thyroxin 75 µg",  "Amoxicillin 1000 mg"};

std::string DotDate(int64_t seconds) {
    std::time_t t = static_cast<std::time_t>(seconds);
    std::tm tm{};
    gmtime_r(&t, &tm);
    char buf[48];
    std::snprintf(buf, sizeof buf, "%02d.%02d.%04d", tm.tm_mday, tm.tm_mon + 1, tm.tm_year + 1900);
    return buf;
}

int Quarter(int64_t seconds) {
    std::time_t t = static_cast<std::time_t>(seconds);
    std::tm tm{};
    gmtime_r(&t, &tm);
    return (tm.tm_year + 1900) * 10 + tm.tm_mon / 3 + 1;
}

// Runs a program with its output discarded; true when it exits with 0.
bool RunQuiet(const std::vector<std::string>& args) {
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    int rc = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) return false;
    int status = 0;
    if (waitpid(pid, &status, 0) != pid) return false;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// A row of patient `p`: its own key `id` first, then the patient and the
// doctor.
InsertBuilder PatientRow(PracticeKind kind, const std::string& table, const std::string& key,
                         int64_t id, const PatientProfile& p) {
    InsertBuilder row(kind, table);
    row.Int(key, id).Int("pid", p.pid).Int("aid", p.aid);
    return row;
}

bool WriteText(const fs::path& file, const std::string& text) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out << text;
    return static_cast<bool>(out);
}

}  // namespace

PracticeGenerator::PracticeGenerator(PracticeOptions options) : opt_(std::move(options)) {
    if (opt_.now == 0) opt_.now = static_cast<int64_t>(std::time(nullptr));
}

const std::vector<PracticeGenerator::User>& PracticeGenerator::Users() {
    static const std::vector<User> users = {{1, "admin", "admin", 1, 0, true},
                                            {2, "mueller", "geheim", 2, 0, true},
                                            {3, "schmidt", "Praxis'1", 3, 0, true},
                                            {4, "empfang", "empfang", 4, 0, false},
                                            {5, "weber", "weber", 6, 1, true}};
    return users;
}

std::string PracticeGenerator::StoredPassword(const std::string& plain) {
    std::string s = plain;
    for (char& c : s) c = static_cast<char>(static_cast<unsigned char>(c) - 10);
    return s;
}

std::string PracticeGenerator::UnrepresentablePath(const std::string& path) {
    std::string shown, foreign;
    fspath::FromFileSystem(path, shown);
    for (size_t at = shown.find('<'); at != std::string::npos; at = shown.find('<', at + 1)) {
        const size_t end = shown.find('>', at);
        if (end == std::string::npos) break;
        const std::string part = shown.substr(at + 1, end - at - 1);
        if (part.rfind("U+", 0) == 0 || part.rfind("0x", 0) == 0)
            foreign += (foreign.empty() ? "" : " ") + part;
    }
    return "the path " + path + " has characters that code page 1252 lacks (" + foreign +
           "); Tamaro and its drivers cannot name files there";
}

bool PracticeGenerator::CreateDatabase(PracticeKind kind, const std::string& file,
                                       const std::string& script, OdbcSession& session,
                                       std::string& error) {
    std::vector<std::string> statements;
    if (!SchemaScript::Statements(script, kind, statements)) {
        error = "no schema script " + script;
        return false;
    }
    // The drivers take the file name in code page 1252, as all narrow ODBC text.
    std::string file1252;
    if (!fspath::FromFileSystem(file, file1252)) {
        error = UnrepresentablePath(file);
        return false;
    }
    if (!SQL_SUCCEEDED(session.Connect(CreateConnectionString(kind, file1252)))) {
        error = "cannot create " + file + ": " + session.LastError();
        return false;
    }
    if (kind == PracticeKind::Firebird) {
        // Without forced writes every commit of Firebird costs a few
        // synchronous page writes instead of dozens: the schema is written
        // seven times faster, and so are the program's own runs on these
        // test and demo databases. gfix needs the file to itself. Where gfix
        // is missing the database merely stays slower.
        session.Disconnect();
        RunQuiet({"gfix", "-write", "async", file, "-user", "SYSDBA", "-password", "tilvormex"});
        if (!SQL_SUCCEEDED(session.Connect(CreateConnectionString(kind, file1252)))) {
            error = "cannot open " + file + ": " + session.LastError();
            return false;
        }
    }
    // Schema statements commit one by one, so that the tables exist before
    // the rows are written in one transaction.
    for (const std::string& sql : statements) {
        if (!session.Execute(sql)) {
            error = file + ": " + session.LastError() + "\n" + sql;
            return false;
        }
    }
    return true;
}

bool PracticeGenerator::WriteTemplate(const std::string& file, std::string& error) {
    fs::path path(file);
    PracticeKind kind;
    if (path.extension() == ".fdb")
        kind = PracticeKind::Firebird;
    else if (path.extension() == ".mdb")
        kind = PracticeKind::Access;
    else {
        error = "the template must end in .fdb or .mdb: " + file;
        return false;
    }
    std::error_code ec;
    if (path.has_parent_path()) fs::create_directories(path.parent_path(), ec);
    fs::remove(path, ec);
    OdbcSession session;
    if (!CreateDatabase(kind, fs::absolute(path).string(), "archiv", session, error)) return false;
    if (!session.Execute("insert into dbv (val) values (68)")) {
        error = file + ": " + session.LastError();
        return false;
    }
    if (kind == PracticeKind::Firebird) {
        // Practices copy the template as their archive database, which must
        // survive a power failure: forced writes go back on.
        session.Disconnect();
        if (!RunQuiet({"gfix", "-write", "sync", fs::absolute(path).string(), "-user", "SYSDBA",
                       "-password", "tilvormex"})) {
            error = file + ": gfix -write sync failed";
            return false;
        }
    }
    return true;
}

bool PracticeGenerator::Put(BatchWriter& writer, const InsertBuilder& row) {
    if (failed_) return false;
    if (!writer.Add(row)) {
        error_ = writer.Error();
        failed_ = true;
        return false;
    }
    ++rows_[row.Table()];
    return true;
}

void PracticeGenerator::BuildProfiles() {
    patients_.clear();
    patients_.reserve(static_cast<size_t>(opt_.patients));
    const int64_t now = opt_.now;
    const int64_t oldest = now - 30 * kYear;
    static const std::vector<int> doctors = {2, 2, 3, 3, 4, 5};
    for (int pid = 1; pid <= opt_.patients; ++pid) {
        SeededRandom r(opt_.seed, static_cast<uint64_t>(pid), "patient");
        PatientProfile p;
        p.pid = pid;
        p.aid = r.Pick(doctors);
        p.geschlecht = r.Chance(50) ? 1 : 2;
        p.vorname = r.Pick(p.geschlecht == 1 ? kMaleNames : kFemaleNames);
        p.nachname = r.Pick(kSurnames);
        // Every practice, however small, has a name with an apostrophe and
        // one with umlauts.
        if (pid == 2) p.nachname = "O'Brien";
        if (pid == 3) p.nachname = "Größ";
        if (r.Chance(6)) p.titel = r.Chance(70) ? "Dr." : "Prof. Dr.";
        p.full = pid % 20 == 1;
        // A third of the patients came within the last year; the others were
        // last seen up to thirty years ago.
        if (r.Chance(30))
            p.lastVisit = now - r.Range(kDay, kYear - kDay);
        else
            p.lastVisit = now - r.Range(kYear, 30 * kYear - kDay);
        p.firstVisit = std::max(oldest, p.lastVisit - r.Range(0, 10 * kYear));
        p.admission = std::max(oldest, p.firstVisit - r.Range(0, 30 * kDay));
        p.birth = p.admission - r.Range(kYear, 80 * kYear);
        int kind = static_cast<int>(r.Range(0, 99));
        p.privat = kind < 80 ? 0 : kind < 93 ? 1 : kind < 97 ? 2 : 3;
        int span = static_cast<int>((p.lastVisit - p.firstVisit) / (91 * kDay)) + 1;
        p.quarters = (!p.full && r.Chance(2)) ? 0 : static_cast<int>(r.Range(1, std::min(8, span)));
        p.openService = p.quarters > 0 && r.Chance(4);
        p.emptySchein = p.quarters > 0 && r.Chance(3);
        p.openInvoice = (p.privat == 1 || p.full) && r.Chance(20);
        p.openReInvoice = r.Chance(3);
        p.openDmp = r.Chance(3);
        p.cashBook = p.full || r.Chance(3);
        patients_.push_back(std::move(p));
    }
    if (opt_.cases) AddCaseProfiles();
}

// Fixed patients after the random ones, all of doctor 2 unless named, last
// seen two years ago with one billed service, admitted five years ago.
void PracticeGenerator::AddCaseProfiles() {
    using P = PatientProfile;
    struct Case {
        const char* nachname;
        const char* vorname;
        int aid;
        int privat;
        std::vector<bool P::*> has;   // the flags of the profile the case sets
        int quarters = 1;             // 0: no service at all
        P::Unbilled unbilled{-1, 1};  // with &P::unbilled only
    };
    static const Case cases[] = {
        {"Abel", "Anna", 2, 1, {&P::openInvoice}},
        {"Bach", "Bernd", 2, 0, {&P::openReInvoice}},
        {"Claus", "Clara", 2, 0, {&P::openDmp}},
        {"Dorn", "Dieter", 2, 0, {&P::cashBook}},
        {"Engel", "Erika", 2, 1, {&P::unbilled}, 1, {-1, 2}},
        {"Fuchs", "Frank", 2, 0, {&P::unbilled}, 1, {1, 1}},
        {"Graf", "Gisela", 2, 0, {&P::unbilled}, 1, {1, 5}},
        {"Haas", "Hans", 2, 0, {&P::unbilled}, 1, {1, 6}},
        {"Iske", "Ilse", 2, 0, {&P::emptySchein}},
        // Unbilled, yet no open business: private fee schedule, or no record.
        {"Jung", "Jan", 2, 1, {&P::unbilled}, 1, {1, 2}},
        {"Kern", "Karin", 2, 0, {&P::unbilled}, 1, {0, 1}},
        // Settled invoices in both tables and billed eDoku forms.
        {"Lenz", "Lars", 2, 1, {&P::full, &P::settledReInvoice}},
        {"Mohr", "Maria", 2, 0, {}, 0},
        {"O'Neill", "Nora", 2, 0, {}},
        {"Pohl", "Paul", 2, 0, {&P::privatNull}},
        {"Quast", "Petra", 2, 7, {}},
        {"Roth", "Rita", 5, 1, {}},
        {"Sauer", "Stefan", 3, 2, {}},
        {"Thiel", "Tanja", 4, 3, {}},
        // A billing record without sid is empty; a billed service without
        // sid leaves the patient's record its services.
        {"Ulrich", "Uwe", 3, 0, {&P::nullSidRecord}},
        {"Vogt", "Vera", 2, 0, {&P::nullSidService}},
    };
    const int64_t now = opt_.now;
    for (const Case& c : cases) {
        P p;
        p.pid = static_cast<int>(patients_.size()) + 1;
        p.aid = c.aid;
        p.nachname = c.nachname;
        p.vorname = c.vorname;
        p.geschlecht = p.vorname.back() == 'a' || p.vorname.back() == 'e' ? 2 : 1;
        p.lastVisit = p.firstVisit = now - 2 * kYear;
        p.admission = now - 5 * kYear;
        p.birth = p.admission - 40 * kYear;
        p.privat = c.privat;
        p.quarters = c.quarters;
        for (bool P::*flag : c.has) p.*flag = true;
        p.unbilledService = c.unbilled;
        patients_.push_back(std::move(p));
    }
}

bool PracticeGenerator::Generate() {
    if (opt_.patients < 0 || opt_.patients > 1000000) {
        error_ = "the number of patients must lie between 0 and 1000000";
        return false;
    }
    std::error_code ec;
    fs::path dir = fs::absolute(opt_.dir);
    opt_.dir = dir.string();
    std::string dir1252;
    if (!fspath::FromFileSystem(opt_.dir, dir1252)) {
        error_ = UnrepresentablePath(opt_.dir);
        return false;
    }
    databaseDir_ = (dir / "Database").string();
    fs::create_directories(databaseDir_, ec);
    if (ec) {
        error_ = "cannot create " + databaseDir_ + ": " + ec.message();
        return false;
    }
    for (const std::string& name : SchemaScript::DatabaseNames()) {
        if (name == "archiv") continue;
        fs::path file = fs::path(databaseDir_) / (name + KindExtension(opt_.kind));
        if (!fs::exists(file)) continue;
        if (!opt_.force) {
            error_ = file.string() + " exists already (use --force to replace it)";
            return false;
        }
        fs::remove(file, ec);
    }
    BuildProfiles();
    return WriteDatabases() && WriteSideFiles();
}

// The main database holds most of the rows; a second process writes the
// seven small ones meanwhile. A process rather than a thread, so that each
// has a database engine of its own.
bool PracticeGenerator::WriteDatabases() {
    std::vector<std::string> small;
    for (const std::string& name : SchemaScript::DatabaseNames())
        if (name != "archiv" && name != "data") small.push_back(name);
    int fds[2];
    pid_t child = -1;
    std::fflush(nullptr);
    if (pipe(fds) == 0) {
        child = fork();
        if (child < 0) {
            close(fds[0]);
            close(fds[1]);
        }
    }
    if (child < 0) {
        if (!WriteDatabase("data")) return false;
        for (const std::string& name : small)
            if (!WriteDatabase(name)) return false;
        return true;
    }
    if (child == 0) {
        close(fds[0]);
        bool ok = true;
        for (const std::string& name : small)
            if (!(ok = WriteDatabase(name))) break;
        // One line per figure; the error text with its line ends escaped.
        std::string report;
        for (const auto& [file, seconds] : timings_)
            report += "T\t" + file + "\t" + std::to_string(seconds) + "\n";
        for (const auto& [table, rows] : rows_)
            report += "R\t" + table + "\t" + std::to_string(rows) + "\n";
        if (!ok) {
            std::string e = error_;
            std::replace(e.begin(), e.end(), '\n', '\x01');
            report += "E\t" + e + "\n";
        }
        for (size_t done = 0; done < report.size();) {
            ssize_t n = write(fds[1], report.data() + done, report.size() - done);
            if (n <= 0) break;
            done += static_cast<size_t>(n);
        }
        close(fds[1]);
        std::exit(ok ? 0 : 1);
    }
    close(fds[1]);
    bool ok = WriteDatabase("data");
    std::string report;
    char buf[4096];
    ssize_t n;
    while ((n = read(fds[0], buf, sizeof buf)) > 0) report.append(buf, static_cast<size_t>(n));
    close(fds[0]);
    int status = 0;
    waitpid(child, &status, 0);
    std::string childError;
    size_t pos = 0;
    while (pos < report.size()) {
        size_t nl = report.find('\n', pos);
        if (nl == std::string::npos) nl = report.size();
        std::string line = report.substr(pos, nl - pos);
        pos = nl + 1;
        size_t tab1 = line.find('\t');
        size_t tab2 = line.find('\t', tab1 + 1);
        if (line.rfind("E\t", 0) == 0) {
            childError = line.substr(2);
            std::replace(childError.begin(), childError.end(), '\x01', '\n');
        } else if (tab1 == 1 && tab2 != std::string::npos) {
            std::string name = line.substr(2, tab2 - 2);
            std::string value = line.substr(tab2 + 1);
            if (line[0] == 'T') timings_.emplace_back(name, std::stod(value));
            if (line[0] == 'R') rows_[name] += std::stol(value);
        }
    }
    if (!ok) return false;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        error_ = childError.empty() ? "the writer of the small databases failed" : childError;
        return false;
    }
    return true;
}

bool PracticeGenerator::WriteDatabase(const std::string& name) {
    auto start = std::chrono::steady_clock::now();
    std::string file = databaseDir_ + "/" + name + KindExtension(opt_.kind);
    OdbcSession s;
    if (!CreateDatabase(opt_.kind, file, name, s, error_)) return false;
    // One transaction per database: committing every row on its own makes
    // Firebird a hundred times slower.
    if (!s.SetAutocommit(false)) {
        error_ = file + ": " + s.LastError();
        return false;
    }
    BatchWriter w(s, opt_.kind);
    // What each database holds of a patient.
    using Writer = void (PracticeGenerator::*)(BatchWriter&, const PatientProfile&);
    using G = PracticeGenerator;
    static const std::map<std::string, std::vector<Writer>> writers = {
        {"data", {&G::WritePatient, &G::WriteServices, &G::WriteMainExtras}},
        {"ifap", {&G::WriteIfap}},
        {"form", {&G::WriteForm}},
        {"ldt", {&G::WriteLdt}},
        {"med", {&G::WriteMed}},
        {"rechnung", {&G::WriteRechnung}},
        {"kassenbuch", {&G::WriteKassenbuch}},
        {"kartei", {&G::WriteKartei}}};
    if (name == "data") WriteMain(w);
    const auto found = writers.find(name);
    for (const PatientProfile& p : patients_) {
        if (failed_ || found == writers.end()) break;
        for (Writer write : found->second) (this->*write)(w, p);
    }
    if (!failed_ && !w.Flush()) {
        error_ = w.Error();
        failed_ = true;
    }
    if (failed_) {
        error_ = file + ": " + error_;
        return false;
    }
    if (!s.Commit()) {
        error_ = file + ": commit failed: " + s.LastError();
        return false;
    }
    s.Disconnect();
    std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    timings_.emplace_back(name + KindExtension(opt_.kind), took.count());
    return true;
}

void PracticeGenerator::WriteMain(BatchWriter& s) {
    const PracticeKind k = opt_.kind;
    // Above 187: the audit log writes to this database.
    Put(s, InsertBuilder(k, "dbv").Int("val", 200));
    for (const User& u : Users()) {
        Put(s, InsertBuilder(k, "passwd")
                   .Int("lid", u.lid)
                   .Text("login", u.login)
                   .Text("passwort", StoredPassword(u.password))
                   .Int("aid", u.aid)
                   .Int("deleted", u.deleted));
    }
    // Tokens 0..200; token 154 admits a user to Tamaro.
    for (int tid = 0; tid <= 200; ++tid) {
        std::string name = tid == 154 ? "Tamaro" : "Recht " + std::to_string(tid);
        Put(s, InsertBuilder(k, "uac_token").Int("tid", tid).Text("name", name));
    }
    const std::vector<std::pair<int, std::string>> groups = {
        {1, "Administratoren"}, {2, "Empfang"}, {3, "Ärzte"}};
    for (const auto& [gid, name] : groups)
        Put(s, InsertBuilder(k, "uac_gruppen").Int("gid", gid).Text("name", name));
    for (int tid = 0; tid <= 200; ++tid) {
        Put(s, InsertBuilder(k, "uac_tid2gid").Int("tid", tid).Int("gid", 1));
        if (tid >= 100) {
            Put(s, InsertBuilder(k, "uac_tid2gid").Int("tid", tid).Int("gid", 3));
        }
        if (tid >= 1 && tid <= 20) {
            Put(s, InsertBuilder(k, "uac_tid2gid").Int("tid", tid).Int("gid", 2));
        }
    }
    // schmidt is in two groups, of which only one grants token 154; empfang
    // is only in the group without it.
    const std::vector<std::pair<int, int>> members = {{1, 1}, {2, 3}, {3, 2},
                                                      {3, 3}, {4, 2}, {5, 3}};
    for (const auto& [lid, gid] : members)
        Put(s, InsertBuilder(k, "uac_lid2gid").Int("lid", lid).Int("gid", gid));

    struct Doctor {
        int aid;
        int arten;
        const char* titel;
        const char* name;
        const char* vorname;
        const char* kuerzel;
    };
    // Doctor 5 is hidden by bit 0x20 of arten; 1 is the practice itself.
    std::vector<Doctor> doctors = {{1, 0, "", "Praxis", "Gemeinschaftspraxis", "PX"},
                                   {2, 1, "Dr. med.", "Müller", "Jürgen", "JM"},
                                   {3, 1, "Dr.", "Schmidt", "Eva", "ES"},
                                   {4, 1, "", "Weiß", "Anna", "AW"},
                                   {5, 0x21, "Dr.", "Alt", "Gerhard", "GA"},
                                   {6, 1, "", "Weber", "Klaus", "KW"}};
    // The emergency service: id 0, a title without a surname.
    if (opt_.cases) doctors.push_back({0, 0, "Dr.", "", "Notdienst", "ND"});
    for (const Doctor& d : doctors) {
        Put(s, InsertBuilder(k, "arzt")
                   .Int("aid", d.aid)
                   .Int("arten", d.arten)
                   .Text("titel", d.titel)
                   .Text("name", d.name)
                   .Text("vorname", d.vorname)
                   .Text("kuerzel", d.kuerzel)
                   .Int("lanr", 123456700 + d.aid)
                   .Int("bsnr", 987654300));
    }
    struct LogRow {
        int mid;
        int64_t age;
        const char* text;
    };
    const std::vector<LogRow> log = {{1, 10 * kDay, "Velunda gestartet."},
                                     {7, 400 * kDay, "Tamaro V1.37 gestartet."},
                                     {7, 30 * kDay, "Tamaro V1.38 gestartet."}};
    for (const LogRow& l : log) {
        Put(s, InsertBuilder(k, "log")
                   .Int("mid", l.mid)
                   .Int("lid", 1)
                   .Int("aid", 1)
                   .Int("pid", -1)
                   .Int("datum", opt_.now - l.age)
                   .Int("kategorie", 1)
                   .Int("art", 0)
                   .Int("intval1", -1)
                   .Int("intval2", -1)
                   .Int("intval3", -1)
                   .Text("client", "praxis:empfang")
                   .Text("notiz", l.text));
    }
}

void PracticeGenerator::WritePatient(BatchWriter& s, const PatientProfile& p) {
    SeededRandom r(opt_.seed, static_cast<uint64_t>(p.pid), "patienten");
    InsertBuilder b(opt_.kind, "patienten");
    b.Int("pid", p.pid)
        .Int("aid", p.aid)
        .Int("aufnahmedatum", p.admission)
        .Int("familienstand", r.Range(0, 3))
        .Text("geburtsdatum", DotDate(p.birth))
        .Int("geschlecht", p.geschlecht)
        .Int("kartengueltigkeit", Quarter(p.lastVisit))
        .Int("kid", r.Range(1, 6))
        .Text("land", "D")
        .Int("lvorlage", 0)
        .Text("nachname", p.nachname)
        .Text("ort", r.Pick(kTowns))
        .Text("plz", std::to_string(r.Range(10000, 99999)))
        .Text("strasse", r.Pick(kStreets))
        .Text("hausnummer", std::to_string(r.Range(1, 120)))
        .Text("versichertennummer", std::string(1, static_cast<char>('A' + r.Range(0, 25))) +
                                        std::to_string(r.Range(100000000, 999999999)))
        .Int("versichertenstatus", r.Pick(std::vector<int>{1, 3, 5}))
        .Int("vknr", r.Range(10000, 99999))
        .Text("vorname", p.vorname)
        .Text("kassenname", p.privat == 1 ? "Privat" : r.Pick(kKassen))
        .Int("bereiche", 2047)
        .Int("entbindung", 0)
        .Int("ktab", r.Range(0, 4))
        .Int("hinweise", r.Chance(10) ? 1 : 0)
        .Int("gordnung", p.privat == 1 ? 2 : 1)
        .Int("unfall", p.privat == 2 ? 1 : 0)
        .Int("lastchange", p.lastVisit)
        .Int("inaktiv", p.lastVisit < opt_.now - 10 * kYear ? 1 : 0)
        .Int("pkasse", 0)
        .Int("wartestart", 0)
        .Int("doc1", p.aid)
        .Int("doc2", 0)
        .Int("doc3", 0)
        .Int("doc4", 0)
        .Int("doc5", 0)
        .Text("kuerzel", p.nachname.substr(0, 2))
        .Int("bgid", p.privat == 2 ? 1 : 0)
        .Int("kat1", 0)
        .Int("kat2", 0)
        .Int("kat3", 0)
        .Int("kat4", 0)
        .Int("kat5", 0)
        .Int("kat6", 0)
        .Int("bericht", 0)
        .Int("gkv_anid", 0);
    if (!p.privatNull) b.Int("privatpatient", p.privat);
    if (!p.titel.empty()) b.Text("titel", p.titel);
    if (r.Chance(3)) b.Text("namenszusatz", "Freiherr");
    if (r.Chance(3)) b.Text("vorsatzwort", "von");
    if (r.Chance(5)) b.Text("anschriftzusatz", "c/o Pflegeheim Sonnenhof");
    if (r.Chance(5)) b.Text("statuszusatz", "M");
    if (p.privat == 2) b.Text("bgname", "BG Bau");
    if (r.Chance(20)) b.Text("bemerkung", "Kommt nur vormittags.");
    if (r.Chance(2)) b.Text("bild", "bilder\\p" + std::to_string(p.pid) + ".jpg");
    Put(s, b);
}

void PracticeGenerator::WriteServices(BatchWriter& s, const PatientProfile& p) {
    const PracticeKind k = opt_.kind;
    SeededRandom r(opt_.seed, static_cast<uint64_t>(p.pid), "abrechnungen");
    const int gordnung = p.privat == 1 ? 2 : 1;
    int zid = p.pid * 1000;
    int did = p.pid * 1000;
    for (int q = 0; q < p.quarters; ++q) {
        int64_t t = p.quarters == 1
                        ? p.lastVisit
                        : p.firstVisit + (p.lastVisit - p.firstVisit) * q / (p.quarters - 1);
        int sid = p.pid * 100 + q + 1;
        InsertBuilder sch = PatientRow(k, "scheine", "sid", sid, p);
        sch.Int("quartal", Quarter(t))
            .Int("datum", t)
            .Date("ausstellung", t)
            .Int("scheinart", r.Range(0, 3))
            .Int("gordnung", gordnung)
            .Int("vknr", r.Range(10000, 99999))
            .Text("kassenname", p.privat == 1 ? "Privat" : r.Pick(kKassen))
            .Text("extra", r.Chance(20) ? "Kennziffer O I/II\t1234\n" : "");
        Put(s, sch);
        int services = static_cast<int>(r.Range(1, 4));
        for (int n = 0; n < services; ++n) {
            // The first service of a record lies on its date, so the latest
            // service of the patient is exactly lastVisit.
            int64_t when = n == 0 ? t : t - r.Range(0, 20 * kDay);
            Put(s, PatientRow(k, "abrechnungen", "zid", ++zid, p)
                       .Int("sid", sid)
                       .Int("datum", when)
                       .Text("ziffer", gordnung == 2 ? r.Pick(kGoae) : r.Pick(kZiffern))
                       .Int("anzahl", r.Range(1, 2))
                       .Int("multiplikator", 1)
                       .Real("faktor", gordnung == 2 ? 2.3 : 1.0, 1)
                       .Real("betrag", static_cast<double>(r.Range(500, 9999)) / 100.0)
                       .Int("gordnung", gordnung)
                       .Int("abrechnung", 1)
                       .Text("extra", r.Chance(10) ? "Begründung: erhöhter Aufwand" : ""));
        }
        int diagnoses = static_cast<int>(r.Range(0, 2)) + (p.full && q == 0 ? 1 : 0);
        for (int n = 0; n < diagnoses; ++n) {
            InsertBuilder d = PatientRow(k, "diagnosen", "did", ++did, p);
            d.Int("sid", sid)
                .Int("datum", t)
                .Text("code", r.Pick(kIcd))
                .Text("sicherheit", r.Pick(std::vector<std::string>{"G", "V", "A", "Z"}))
                .Int("dauerdiagnose", r.Chance(30) ? 1 : 0)
                .Text("notiz", r.Chance(30) ? r.Pick(kNotes) : "")
                .Int("deleted", 0)
                .Int("created", t)
                .Int("rid", -1);
            if (r.Chance(20)) d.Text("seite", r.Pick(std::vector<std::string>{"R", "L", "B"}));
            Put(s, d);
        }
    }
    // A service of the last visit's day, once at 12.50, and the billing
    // record of that day; each without sid where it has none.
    auto lastVisitService = [&](std::optional<int> sid, const std::string& ziffer,
                                int serviceGordnung, int billed) {
        InsertBuilder row = PatientRow(k, "abrechnungen", "zid", ++zid, p);
        if (sid) row.Int("sid", *sid);
        row.Int("datum", p.lastVisit)
            .Text("ziffer", ziffer)
            .Int("anzahl", 1)
            .Int("multiplikator", 1)
            .Real("faktor", 1.0, 1)
            .Real("betrag", 12.5)
            .Int("gordnung", serviceGordnung)
            .Int("abrechnung", billed);
        Put(s, row);
    };
    auto lastVisitRecord = [&](std::optional<int> sid) {
        InsertBuilder row(k, "scheine");
        if (sid) row.Int("sid", *sid);
        row.Int("pid", p.pid)
            .Int("aid", p.aid)
            .Int("quartal", Quarter(p.lastVisit))
            .Int("datum", p.lastVisit)
            .Date("ausstellung", p.lastVisit)
            .Int("scheinart", 0)
            .Int("gordnung", gordnung);
        Put(s, row);
    };
    if (p.openService) {
        // Unbilled: either without a billing record or under statutory rules.
        bool noRecord = r.Chance(50);
        lastVisitService(noRecord ? -1 : p.pid * 100 + p.quarters, r.Pick(kZiffern), 1, 0);
    }
    if (p.unbilled) {
        const PatientProfile::Unbilled& u = p.unbilledService;
        lastVisitService(u.sid > 0 ? p.pid * 100 + p.quarters : u.sid,
                         u.gordnung == 2 ? "1" : "03000", u.gordnung, 0);
    }
    if (p.nullSidRecord) lastVisitRecord(std::nullopt);
    if (p.nullSidService) lastVisitService(std::nullopt, "03000", 1, 1);
    if (p.emptySchein) lastVisitRecord(p.pid * 100 + 99);
}

void PracticeGenerator::WriteMainExtras(BatchWriter& s, const PatientProfile& p) {
    const PracticeKind k = opt_.kind;
    SeededRandom r(opt_.seed, static_cast<uint64_t>(p.pid), "extras");
    const int64_t last = p.lastVisit;

    int appointments = static_cast<int>(r.Range(p.full ? 1 : 0, 3));
    for (int n = 0; n < appointments; ++n) {
        int64_t when = last - r.Range(0, 2 * kYear) + r.Range(8, 17) * 3600;
        Put(s, PatientRow(k, "termine", "tid", p.pid * 100 + n, p)
                   .Date("datum", when)
                   .Time("zeit", when)
                   .Int("dauer", r.Pick(std::vector<int>{10, 15, 20, 30}))
                   .Text("\"text\"",
                         r.Pick(std::vector<std::string>{"Kontrolle", "Blutabnahme nüchtern",
                                                         "Impfung", "Gespräch über Befund"}))
                   .Timestamp("erstellt", when - r.Range(1, 30) * kDay)
                   .Int("erschienen", r.Chance(90) ? 1 : 0));
    }
    if (p.full || r.Chance(10)) {
        Put(s, PatientRow(k, "kontingente", "kid", p.pid * 10 + 1, p)
                   .Text("ziffer", "35150")
                   .Int("anzahl", 10)
                   .Int("verbraucht", r.Range(0, 10))
                   .Text("antragsdatum", DotDate(last - 90 * kDay))
                   .Date("gueltigbis", last + kYear));
    }
    int fields = static_cast<int>(r.Range(1, 2));
    const std::vector<std::pair<std::string, std::string>> fieldValues = {
        {"Blutgruppe", "A Rh+"},
        {"Allergien", "Penicillin, Nüsse"},
        {"Beruf", "Bäcker"},
        {"Raucher", "ja, 10/Tag"}};
    for (int n = 0; n < fields; ++n) {
        const auto& fv = r.Pick(fieldValues);
        // Beyond 32 bits where the kind has a 64-bit integer.
        int64_t kennung =
            k == PracticeKind::Firebird ? 5000000000LL + p.pid * 10 + n : int64_t{p.pid} * 10 + n;
        Put(s, InsertBuilder(k, "felder")
                   .Int("fid", p.pid * 10 + n)
                   .Int("pid", p.pid)
                   .Text("feld", fv.first)
                   .Text("wert", fv.second)
                   .Int("\"update\"", last)
                   .Int("kennung", kennung));
    }
    if (p.full || r.Chance(20)) {
        Put(s, InsertBuilder(k, "havg_pat")
                   .Int("pid", p.pid)
                   .Int("vertrag", r.Range(1, 5))
                   .Int("vertretung", 0)
                   .Int("quartal", Quarter(last)));
    }
    if (p.full || r.Chance(10)) {
        Put(s, InsertBuilder(k, "havg_patextra")
                   .Int("pid", p.pid)
                   .Int("lastchg", last)
                   .Int("erwerbstaetig", 1)
                   .Int("wochenstunden", r.Range(10, 40))
                   .Text("beruf",
                         r.Pick(std::vector<std::string>{"Bäckerin", "Straßenbauer", "Lehrer"}))
                   .Int("geistig", r.Range(0, 1))
                   .Int("sitzend", r.Range(0, 1))
                   .Text("besonderheiten", "Schichtdienst"));
    }
    int contacts = static_cast<int>(r.Range(1, 2));
    for (int n = 0; n < contacts; ++n) {
        bool phone = n == 0;
        Put(s, InsertBuilder(k, "pat_kontakt")
                   .Int("kid", p.pid * 10 + n)
                   .Int("pid", p.pid)
                   .Text("typ", phone ? "Telefon" : "E-Mail")
                   .Text("val", phone ? "0" + std::to_string(r.Range(30, 9999)) + "/" +
                                            std::to_string(r.Range(100000, 9999999))
                                      : "patient" + std::to_string(p.pid) + "@example.de"));
    }
    int items = static_cast<int>(r.Range(p.full ? 1 : 0, 2));
    for (int n = 0; n < items; ++n) {
        Put(s, InsertBuilder(k, "itemhist")
                   .Int("vid", p.pid * 10 + n)
                   .Int("iid", r.Range(1, 500))
                   .Int("ityp", r.Range(1, 4))
                   .Int("ifmt", 0)
                   .Int("pid", p.pid)
                   .Int("aid", p.aid)
                   .Int("lid", 2)
                   .Int("datum", last - r.Range(0, kYear))
                   .Text("txt", r.Pick(kNotes)));
    }
    if (p.full || r.Chance(10)) {
        Put(s, InsertBuilder(k, "recall")
                   .Int("recallid", p.pid * 10 + 1)
                   .Int("datum", last + 180 * kDay)
                   .Int("pid", p.pid)
                   .Int("aid", p.aid)
                   .Text("ident", "GU")
                   .Text("title", "Gesundheits-Check-up fällig")
                   .Text("txt", "Bitte telefonisch einbestellen."));
    }
    if (p.full || r.Chance(10)) {
        Put(s, InsertBuilder(k, "terminnotiz")
                   .Int("tid", p.pid * 100)
                   .Int("pid", p.pid)
                   .Text("notiz", "Bringt Befunde vom Facharzt mit."));
    }
    if (p.full || p.openDmp || r.Chance(10)) {
        int forms = static_cast<int>(r.Range(1, 2));
        for (int n = 0; n < forms; ++n) {
            bool open = p.openDmp && n == forms - 1;
            Put(s, PatientRow(k, "dmp_form", "dmpid", p.pid * 10 + n, p)
                       .Int("sid", p.pid * 100 + 1)
                       .Int("bsnr", 987654300)
                       .Int("lanr", 123456700 + p.aid)
                       .Int("formid", r.Range(1, 9))
                       .Int("datum", last - n * 91 * kDay)
                       .Int("abrechnung", open ? 0 : 1)
                       .Int("fehlerhaft", 0)
                       .Int("gedruckt", 1)
                       .Int("empfaenger", 1)
                       .Int("version", 5)
                       .Text("content", "<dmp><hba1c>6.8</hba1c></dmp>"));
        }
        Put(s, InsertBuilder(k, "dmp_pat")
                   .Int("dpatid", p.pid * 10 + 1)
                   .Int("pid", p.pid)
                   .Text("fallnummer", "DM" + std::to_string(p.pid))
                   .Int("art", r.Range(1, 4))
                   .Int("datum", p.firstVisit)
                   .Int("empfaenger", 1)
                   .Int("flags", 0));
    }
    if (p.full || p.privat == 2 || r.Chance(3)) {
        Put(s, InsertBuilder(k, "pat_unfall")
                   .Int("uid", p.pid * 10 + 1)
                   .Int("pid", p.pid)
                   .Int("bgid", 1)
                   .Int("tarif", 1)
                   .Int("datum", last - 7 * kDay)
                   .Int("persunfall", 0)
                   .Text("unfallort", "Baustelle Königstraße")
                   .Text("betrieb", "Bau & Söhne GmbH")
                   .Text("bstrasse", "Industriestraße 4")
                   .Text("bplz", "80331")
                   .Text("bort", "München")
                   .Text("btel", "089/123456")
                   .Text("berichtnr", "B-" + std::to_string(p.pid))
                   .Text("aktenzeichen", "AZ 4711")
                   .Text("ansprechpartner", "Frau Kühn")
                   .Text("unfallhergang", "Beim Abladen vom Gerüst gestürzt.")
                   .Int("eingetroffen", 1));
    }
    if (p.openReInvoice || p.settledReInvoice || r.Chance(5)) {
        static const std::vector<int> settled = {0, 8, 10, 11};
        Put(s, PatientRow(k, "re_rechnungen", "rid", p.pid * 10 + 1, p)
                   .Int("nummer", 2000000 + p.pid)
                   .Int("datum", last)
                   .Int("status", p.openReInvoice ? 1 : r.Pick(settled))
                   .Real("betrag", static_cast<double>(r.Range(1000, 50000)) / 100));
    }
}

void PracticeGenerator::WriteIfap(BatchWriter& s, const PatientProfile& p) {
    SeededRandom r(opt_.seed, static_cast<uint64_t>(p.pid), "docmed");
    int n = static_cast<int>(r.Range(p.full ? 1 : 0, 3));
    for (int i = 0; i < n; ++i) {
        Put(s, InsertBuilder(opt_.kind, "docmed")
                   .Int("aid", p.aid)
                   .Int("pid", p.pid)
                   .Int("datum", p.lastVisit - r.Range(0, kYear))
                   .Int("dauermedikament", r.Range(0, 1))
                   .Int("zuletztverschrieben", p.lastVisit)
                   .Int("pzn", r.Range(1000000, 9999999))
                   .Int("verschreibungsanzahl", r.Range(1, 12)));
    }
}

void PracticeGenerator::WriteForm(BatchWriter& s, const PatientProfile& p) {
    SeededRandom r(opt_.seed, static_cast<uint64_t>(p.pid), "ausdrucke");
    int n = static_cast<int>(r.Range(1, 2));
    for (int i = 0; i < n; ++i) {
        int64_t when = p.lastVisit - r.Range(0, kYear);
        std::string content = "Muster-Inhalt für " + p.nachname + ", " + p.vorname;
        if (r.Chance(10)) content += std::string(2000, '*');
        Put(s, PatientRow(opt_.kind, "ausdrucke", "adid", p.pid * 10 + i, p)
                   .Int("datum", when)
                   .Text("formular", r.Pick(std::vector<std::string>{"Muster 16", "Überweisung",
                                                                     "AU-Bescheinigung",
                                                                     "Heilmittelverordnung"}))
                   .Int("age", static_cast<int>((when - p.birth) / kYear))
                   .Int("kopien", r.Range(1, 3))
                   .Timestamp("gedruckt", when)
                   .Text("inhalt", content));
    }
}

void PracticeGenerator::WriteLdt(BatchWriter& s, const PatientProfile& p) {
    SeededRandom r(opt_.seed, static_cast<uint64_t>(p.pid), "ldt");
    int n = static_cast<int>(r.Range(p.full ? 1 : 0, 2));
    for (int i = 0; i < n; ++i) {
        int64_t when = p.lastVisit - r.Range(0, kYear);
        Put(s, PatientRow(opt_.kind, "ldtbericht", "bid", p.pid * 10 + i, p)
                   .Int("datum", when)
                   .Text("labor", "Labor Dr. Blümel & Kollegen")
                   .Text("anforderung", "A" + std::to_string(p.pid * 10 + i))
                   .Timestamp("eingang", when + 2 * kDay)
                   .Date("abnahme", when)
                   .Text("befund", "Leukozyten 7,2 G/l\r\nCRP < 5 mg/l"));
        // autoid is numbered by the database on the Access kind.
        InsertBuilder nr(opt_.kind, "ldtnummer");
        if (opt_.kind == PracticeKind::Firebird) nr.Int("autoid", p.pid * 10 + i);
        nr.Int("pid", p.pid)
            .Text("nummer", "L" + std::to_string(p.pid * 10 + i))
            .Int("datum", when);
        Put(s, nr);
    }
}

void PracticeGenerator::WriteMed(BatchWriter& s, const PatientProfile& p) {
    SeededRandom r(opt_.seed, static_cast<uint64_t>(p.pid), "medhistory");
    int n = static_cast<int>(r.Range(p.full ? 1 : 0, 3));
    for (int i = 0; i < n; ++i) {
        int64_t when = p.lastVisit - r.Range(0, 2 * kYear);
        Put(s, PatientRow(opt_.kind, "medhistory", "mhid", p.pid * 10 + i, p)
                   .Int("datum", when)
                   .Int("pzn", r.Range(1000000, 9999999))
                   .Text("praeparat", r.Pick(kPreparations))
                   .Text("dosierung",
                         r.Pick(std::vector<std::string>{"1-0-1", "1-0-0", "0-0-1", "bei Bedarf"}))
                   .Real("menge", static_cast<double>(r.Range(1, 40)) / 2.0, 1)
                   .Int("dauer", r.Range(0, 1))
                   .Timestamp("verordnet", when));
    }
}

void PracticeGenerator::WriteRechnung(BatchWriter& s, const PatientProfile& p) {
    if (p.privat != 1 && !p.full && !p.openInvoice) return;
    SeededRandom r(opt_.seed, static_cast<uint64_t>(p.pid), "rechnungen");
    static const std::vector<int> settled = {0, 8, 10, 11};
    int n = static_cast<int>(r.Range(1, 3));
    for (int i = 0; i < n; ++i) {
        bool open = p.openInvoice && i == n - 1;
        int64_t when = p.lastVisit - (n - 1 - i) * 91 * kDay;
        Put(s, PatientRow(opt_.kind, "rechnungen", "rid", p.pid * 10 + i, p)
                   .Int("nummer", 100000 + p.pid * 10 + i)
                   .Int("datum", when)
                   .Int("status", open ? r.Pick(std::vector<int>{1, 2, 3}) : r.Pick(settled))
                   .Real("betrag", static_cast<double>(r.Range(1500, 150000)) / 100.0)
                   .Date("faellig", when + 30 * kDay)
                   .Int("mahnstufe", open ? r.Range(0, 2) : 0)
                   .Int("belegnr", 100000 + p.pid * 10 + i)
                   .Text("notiz", r.Chance(20) ? "Zahlt in Raten." : ""));
    }
}

void PracticeGenerator::WriteKassenbuch(BatchWriter& s, const PatientProfile& p) {
    if (!p.cashBook) return;
    SeededRandom r(opt_.seed, static_cast<uint64_t>(p.pid), "kassenbuch");
    int64_t when = p.lastVisit;
    Put(s, PatientRow(opt_.kind, "kassenbuch", "kbid", p.pid * 10 + 1, p)
               .Int("datum", when)
               .Text("titel", r.Pick(std::vector<std::string>{"Praxisgebühr", "IGeL: Reiseimpfung",
                                                              "Attest für's Fitnessstudio"}))
               .Real("betrag", static_cast<double>(r.Range(500, 8000)) / 100.0)
               .Real("mwst", 19.0, 1)
               .Int("art", r.Range(1, 3))
               .Timestamp("gebucht", when));
}

void PracticeGenerator::WriteKartei(BatchWriter& s, const PatientProfile& p) {
    SeededRandom r(opt_.seed, static_cast<uint64_t>(p.pid), "data");
    int n = static_cast<int>(r.Range(1, 4));
    for (int i = 0; i < n; ++i) {
        int64_t when = p.lastVisit - r.Range(0, 3 * kYear);
        Put(s, PatientRow(opt_.kind, "data", "did", p.pid * 100 + i, p)
                   .Int("cid", r.Pick(std::vector<int>{1, 2, 3, 4}))
                   .Timestamp("datum", when)
                   .Text("txt", r.Pick(kNotes))
                   .Int("flags", 0)
                   .Int("deleted", 0)
                   .Int("created", when));
    }
}

bool PracticeGenerator::WriteSideFiles() {
    fs::path db(databaseDir_);
    // Next free numbers of the counters whose rows the practice already has.
    int64_t n = patients_.empty() ? 0 : patients_.back().pid;
    bool ok = WriteText(db / "karteiData.id", std::to_string((n + 1) * 100)) &&
              WriteText(db / "Rechnung.id", std::to_string(100000 + (n + 1) * 10)) &&
              WriteText(db / "Arzt.id", "7");
    if (!ok) {
        error_ = "cannot write the id files in " + databaseDir_;
        return false;
    }
    if (opt_.network) {
        std::string fb = opt_.fbConnect.empty() ? opt_.dir : opt_.fbConnect;
        if (!WriteText(fs::path(opt_.dir) / "Network.cfg",
                       "Path=" + opt_.dir + "\nFBConnect=" + fb + "\n")) {
            error_ = "cannot write Network.cfg";
            return false;
        }
    }
    return true;
}
