// Patients' records handed out by the real program ("--export LIST --to
// DIR"), on both kinds and from both sides, checked by an independent client
// (check_export.py: pyodbc, the csv module, pdftotext, hashlib), and what an
// export that is refused, killed or runs out of room leaves behind.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <set>

#include "archive/rows/BinaryValues.h"
#include "core/Globals.h"
#include "db/DatabaseKind.h"
#include "db/DatabaseSet.h"
#include "db/ODBCStmt.h"
#include "db/OdbcResult.h"
#include "tests/fixtures/HeadlessProgram.h"
#include "tests/fixtures/LockHeldElsewhere.h"

#ifdef TAMARO_HAVE_PROGRAM

using namespace testenv;

namespace {

// Every entry below dir, as paths relative to it, sorted.
std::set<std::string> Tree(const fs::path& dir) {
    std::set<std::string> names;
    if (!fs::exists(dir)) return names;
    for (const auto& e : fs::recursive_directory_iterator(dir))
        names.insert(fs::relative(e.path(), dir).string());
    return names;
}

class RecordExportTest : public HeadlessProgramTest {
  protected:
    bool Firebird() const { return GetParam() == "fdb"; }

    // Runs a statement on the main Velunda database from this process, with
    // its parameters (bytes, bound as binary unless text), and lets go of
    // the database before the program starts.
    void Plant(const std::string& sql,
               const std::vector<std::pair<std::string, bool>>& params = {}) {
        ::VelundaDir = ::DataDir = practice_.str();
        ::DatabaseDir = ::ServerPath = (practice_.path() / "Database").string();
        DatabaseSet set;
        ArchiveDbPair& db = set.Velunda[0];
        ASSERT_TRUE(Connect(db));
        {
            ODBCStmt stmt(db.Connection);
            std::vector<std::string> values;
            std::vector<SQLLEN> lengths(params.size());
            for (const auto& p : params) values.push_back(p.first);
            for (size_t i = 0; i < params.size(); ++i) {
                lengths[i] = SQLLEN(values[i].size());
                const bool text = params[i].second;
                ASSERT_TRUE(SQL_SUCCEEDED(SQLBindParameter(
                    stmt.Handle(), SQLUSMALLINT(i + 1), SQL_PARAM_INPUT,
                    text ? SQL_C_CHAR : SQL_C_BINARY, text ? SQL_LONGVARCHAR : SQL_LONGVARBINARY,
                    std::max<SQLULEN>(values[i].size(), 1), 0, values[i].data(), lengths[i],
                    &lengths[i])));
            }
            EXPECT_TRUE(SqlExecuted(stmt.Execute(sql)))
                << sql << ": " << db.Connection.GetErrorText(stmt.Handle());
        }
        db.Connection.Disconnect();
    }

    int Audits(const std::string& text) {
        ::DatabaseDir = ::ServerPath = (practice_.path() / "Database").string();
        DatabaseSet set;
        EXPECT_TRUE(Connect(set.Velunda[0]));
        int32_t n = -1;
        {
            ODBCStmt stmt(set.Velunda[0].Connection);
            EXPECT_TRUE(
                stmt.ExecDirect("select count(*) from log where mid=7 and notiz='" + text + "'"));
            bool null = false;
            EXPECT_TRUE(stmt.Fetch() && stmt.GetColumnInt(1, n, null));
        }
        set.Velunda[0].Connection.Disconnect();
        return n;
    }

    // The independent client's verdict on one exported record.
    void Check(const std::string& side, int pid, const fs::path& folder) {
        std::string out;
        const int status = RunCommand(
            "/usr/bin/python3 '" + (SourceDir() / "tests/archive/export/check_export.py").string() +
                "' --kind " + GetParam() + " --database '" +
                (practice_.path() / "Database").string() + "' --side " + side + " --pid " +
                std::to_string(pid) + " --folder '" + folder.string() + "' 2>&1",
            &out);
        EXPECT_EQ(status, 0) << out;
    }

    // A shell script run in a mount namespace of its own, where "$0" is a
    // fresh tmpfs mounted with options; false (the test is skipped) where no
    // tmpfs can be mounted in one. Standard output into out.
    bool InPrivateMount(const std::string& options, const std::string& script, std::string& out) {
        const fs::path mount = cfg_.path() / "mnt";
        fs::create_directories(mount);
        const std::string unshare = geteuid() == 0 ? "unshare -m" : "unshare -rm";
        if (RunCommand(unshare + " sh -c 'mount -t tmpfs tmpfs \"$0\"' '" + mount.string() +
                       "' 2>/dev/null") != 0)
            return false;
        const std::string quoted = "mount -t tmpfs -o " + options + " tmpfs \"$0\" && " + script;
        std::string escaped;
        for (char c : quoted) escaped += c == '\'' ? std::string("'\\''") : std::string(1, c);
        out.clear();
        RunCommand(unshare + " sh -c '" + escaped + "' '" + mount.string() + "'", &out);
        return true;
    }

    std::string ProgramLine(const std::string& args) {
        return "cd '" + program_.str() + "' && echo geheim | '" +
               (testenv::ProgramDir() / "tamaro").string() + "' --headless --user mueller " + args;
    }

    TempDir out_{"tamaro-export"};
};

TEST_P(RecordExportTest, HandsOutBothSidesExactlyAsAnIndependentClientReadsThem) {
    // Binary values: 100 KB that say they are a PDF for patient 11's
    // appointments (read in several parts), every byte value for 12's; and
    // a text that CSV must quote, with a line end, umlauts and the euro sign.
    Plant(std::string("alter table termine add anhang ") +
          (Firebird() ? "blob sub_type binary" : "longbinary"));
    std::string pdfLike = "%PDF-1.4\n";
    for (int i = 0; pdfLike.size() < 100 * 1024; ++i) pdfLike += char(i * 7 % 256);
    Plant("update termine set anhang=? where pid=11", {{pdfLike, false}});
    std::string bytes;
    for (int i = 0; i < 256; ++i) bytes += char(i);
    Plant("update termine set anhang=? where pid=12", {{bytes, false}});
    Plant("update termine set \"text\"=? where pid=11",
          {{"Befund: „gut“, \"stabil\"\r\nKontrolle in 3 Monaten; 25 €", true}});

    HeadlessResult r = Run("--archive 12");
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    const fs::path velunda = out_.path() / "velunda", archiv = out_.path() / "archiv";
    r = Run("--export 11,13 --to '" + velunda.string() + "' --view archiv --export 12 --to '" +
            archiv.string() + "/'");
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_EQ(r.err, "");
    const std::vector<std::string> lines = r.Lines("EXPORT\t");
    ASSERT_EQ(lines.size(), 3u) << r.out;
    EXPECT_TRUE(r.Out("Patientenakten exportieren aus Velunda nach " + velunda.string() +
                      " (2 Patienten)...\n"))
        << r.out;
    EXPECT_TRUE(r.Out("Gesamt: 1 Patientenakte exportiert nach " + archiv.string() + ".\n"))
        << r.out;

    std::vector<std::pair<std::string, int>> records = {
        {"Velunda", 11}, {"Velunda", 13}, {"Archiv", 12}};
    for (size_t i = 0; i < records.size(); ++i) {
        const auto& [side, pid] = records[i];
        const std::string prefix = "EXPORT\t" + std::to_string(pid) + "\t" +
                                   (side == "Velunda" ? velunda : archiv).string() + "/" +
                                   std::to_string(pid) + "_";
        ASSERT_EQ(lines[i].rfind(prefix, 0), 0u) << lines[i];
        const fs::path folder = lines[i].substr(lines[i].rfind('\t') + 1);
        Check(side, pid, folder);
        EXPECT_EQ(
            Audits("Patientenakte exportiert (Patient " + std::to_string(pid) + ", " + side + ")."),
            1);
    }
    // The folders Tamaro made are the owner's alone; nothing else is left.
    for (const fs::path& target : {velunda, archiv}) {
        struct stat st {};
        ASSERT_EQ(::stat(target.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, 0700u) << target;
        for (const auto& e : fs::directory_iterator(target))
            EXPECT_NE(e.path().filename().string()[0], '.') << e.path();
    }
}

TEST_P(RecordExportTest, RefusesWhatItCannotHandOutWholeAndWritesNothing) {
    const fs::path target = out_.path() / "neu";
    const std::string to = " --to '" + target.string() + "'";
    auto refused = [&](const std::string& args, const std::string& err) {
        const HeadlessResult r = Run(args);
        EXPECT_EQ(r.status, 1) << args;
        EXPECT_EQ(r.err, err) << args;
        EXPECT_FALSE(r.Out("EXPORT\t") || r.Out("Patientenakten exportieren")) << r.out;
        EXPECT_FALSE(fs::exists(target)) << args;
    };
    // Before anything starts: a list with garbage, a missing target.
    refused("--export 12,x" + to,
            "tamaro: \"12,x\" ist keine Patientenliste (Nummern mit Komma, etwa 12,40,7)\n");
    refused("--export 12", "tamaro: --export 12 braucht --to ORDNER\n");
    refused("--export 12 --list", "tamaro: --export 12 braucht --to ORDNER\n");
    // Patients the view does not hold whole.
    const std::string box = "[Meldung] Diese Patienten k\xc3\xb6nnen nicht exportiert werden:\n";
    const std::string none = "Es wird nichts exportiert.\n";
    refused("--export 11,999,11" + to, box + "\xe2\x80\xa2 mehrfach angegeben: 11\n" +
                                           "\xe2\x80\xa2 nicht in Velunda vorhanden: 999\n" + none);
    ASSERT_EQ(Run("--archive 12").status, 0);
    // One appointment of patient 12 was left behind in Velunda.
    Plant("insert into termine (tid, pid) values (9001, 12)");
    refused("--view archiv --export 12,13" + to,
            box + "\xe2\x80\xa2 nicht im Archiv vorhanden: 13\n" +
                "\xe2\x80\xa2 haben Eintr\xc3\xa4ge im Archiv und in Velunda (Datenbestand "
                "pr\xc3\xbc"
                "fen zeigt, welche): 12\n" +
                none);
    // A target that is a file, or a folder that holds something.
    const fs::path file = out_.path() / "notizen.txt";
    WriteFile(file, "Notizen");
    HeadlessResult r = Run("--export 11 --to '" + file.string() + "'");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, std::string("[Meldung] \xe2\x80\x9e") + file.string() +
                         "\xe2\x80\x9c ist kein Ordner. " + none);
    EXPECT_EQ(ReadFile(file), "Notizen");
    const fs::path full = out_.path() / "voll";
    fs::create_directories(full / ".versteckt");
    r = Run("--export 11 --to '" + full.string() + "'");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "[Meldung] Der Zielordner \xe2\x80\x9e" + full.string() +
                         "\xe2\x80\x9c ist nicht leer.\nTamaro exportiert nur in einen neuen "
                         "oder leeren Ordner und \xc3\xbc"
                         "berschreibt nichts. " +
                         none);
    EXPECT_EQ(Tree(full), std::set<std::string>{".versteckt"});
    refused("--export 11 --to '" + (out_.path() / "fehlt" / "neu").string() + "'",
            "[Meldung] Der Zielordner \xe2\x80\x9e" + (out_.path() / "fehlt" / "neu").string() +
                "\xe2\x80\x9c kann nicht angelegt werden: \xe2\x80\x9e" +
                (out_.path() / "fehlt").string() + "\xe2\x80\x9c ist nicht vorhanden. " + none);
    // A run of another workstation holds the practice.
    {
        LockHeldElsewhere holder((practice_.path() / "Database" / "Tamaro.lock").string());
        ASSERT_TRUE(holder.Held());
        refused("--export 11" + to,
                "[Meldung] Auf diesen Datenbanken l\xc3\xa4uft bereits ein Vorgang (Benutzer "
                "unbekannt auf Rechner unbekannt).\nBitte warten Sie, bis er beendet ist.\n");
    }
    EXPECT_EQ(Audits("Patientenakte exportiert (Patient 11, Velunda)."), 0);
}

TEST_P(RecordExportTest, AKilledOrFailedExportLeavesNothingThatLooksComplete) {
    // How many files an export of 11 and 13 writes: one checkpoint each.
    const fs::path whole = out_.path() / "ganz";
    HeadlessResult r = Run("--export 11,13 --to '" + whole.string() + "'");
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    size_t files = 0;
    for (const auto& e : fs::recursive_directory_iterator(whole)) files += e.is_regular_file();
    ASSERT_GT(files, 8u);

    // Killed after its first file, and after the last manifest, just before
    // the records get their names: only the hidden folder is there.
    for (size_t kill : {size_t(1), files}) {
        const fs::path target = out_.path() / ("halb" + std::to_string(kill));
        r = Run("--export 11,13 --to '" + target.string() + "'",
                "TAMARO_RUN_KILL_AT=export:" + std::to_string(kill));
        EXPECT_NE(r.status, 0) << kill;
        const std::set<std::string> left = Tree(target);
        ASSERT_FALSE(left.empty()) << kill;
        for (const std::string& name : left)
            EXPECT_EQ(name.rfind(".tamaro-export-", 0), 0u) << kill << ": " << name;
        // The leftover is no empty target; a new folder takes the export.
        r = Run("--export 11 --to '" + target.string() + "'");
        EXPECT_EQ(r.status, 1);
        EXPECT_TRUE(r.Err("ist nicht leer.")) << r.err;
    }

    // A full disk: what was written is removed, and the line says why.
    std::string out;
    if (!InPrivateMount("size=48k",
                        ProgramLine("--export 11,13 --to \"$0/akte\" 2>&1") +
                            "; echo \"status=$?\"; find \"$0\" -mindepth 1",
                        out))
        GTEST_SKIP() << "no mount namespace for a small file system";
    EXPECT_NE(out.find("status=1\n"), std::string::npos) << out;
    EXPECT_NE(out.find(": Datentr\xc3\xa4ger voll\n"), std::string::npos) << out;
    EXPECT_NE(out.find("Der Export wurde abgebrochen; was er schon geschrieben hatte, ist "
                       "entfernt.\n"),
              std::string::npos)
        << out;
    EXPECT_EQ(out.substr(out.find("status=1\n") + 9), "") << out;

    // A read-only file system, for a new folder and for an empty one.
    for (const char* to : {"\"$0/akte\"", "\"$0\""}) {
        ASSERT_TRUE(InPrivateMount("ro",
                                   ProgramLine(std::string("--export 11 --to ") + to + " 2>&1") +
                                       "; echo \"status=$?\"; find \"$0\" -mindepth 1",
                                   out));
        EXPECT_NE(out.find("status=1\n"), std::string::npos) << out;
        EXPECT_NE(out.find(": schreibgesch\xc3\xbctztes Dateisystem\n"), std::string::npos) << out;
        EXPECT_EQ(out.substr(out.find("status=1\n") + 9), "") << out;
    }
    EXPECT_EQ(Audits("Patientenakte exportiert (Patient 11, Velunda)."), 1);
}

INSTANTIATE_TEST_SUITE_P(Kinds, RecordExportTest, ::testing::Values("fdb", "mdb"));

}  // namespace

#endif
