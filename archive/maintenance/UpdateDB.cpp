#include "archive/maintenance/UpdateDB.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "archive/rows/RunCheckpoint.h"
#include "archive/rows/StatementObserver.h"
#include "core/Globals.h"
#include "core/LogSink.h"
#include "db/ArchiveDbPair.h"
#include "db/ODBCStmt.h"
#include "db/OdbcResult.h"

namespace {

enum class Via {
    Run,      // RunSQL: a message box on failure
    Execute,  // ExecuteSQL: placeholders translated, a red log line on failure
    Nothing,  // no statement; the version just advances
    Docmed,   // the conversion of "rezepte" into "docmed"
    RunTwice  // RunSQL twice; only the second statement's failure counts
};

struct Step {
    Via via;
    const char* sql;
    const char* second;
};

// Step n takes the archive from version n to n + 1.
constexpr Step kLadder[CurrentDbVersion] = {
    {Via::Run, "create table DBV(VAL integer)", nullptr},
    {Via::Run, "insert into DBV (VAL) values(0)", nullptr},
    {Via::Run, "alter table diagnosen add column notiz memo", nullptr},
    {Via::Run, "update diagnosen set notiz = [text]", nullptr},
    {Via::Run, "alter table diagnosen drop column [text]", nullptr},
    {Via::Run, "alter table patienten add column LASTCHANGE integer", nullptr},
    {Via::Run, "update patienten set lastchange = [update]", nullptr},
    {Via::Run, "alter table patienten drop column [update]", nullptr},
    {Via::Run, "alter table kontingente add column ANTRAGSDATUM varchar(12)", nullptr},
    {Via::Run, "update kontingente set antragsdatum = ''", nullptr},
    {Via::Run, "alter table scheine add column EXTRA memo", nullptr},
    {Via::Run, "update scheine set extra = ''", nullptr},
    {Via::Nothing, nullptr, nullptr},
    {Via::Run,
     "update scheine set extra=extra+ 'Kennziffer O I/II'+chr(9)+kzo1+chr(10) where kzo1 <>''",
     nullptr},
    {Via::Run, "alter table scheine drop column kzo1", nullptr},
    {Via::Run,
     "update scheine set extra=extra+ 'Kennziffer O III'+chr(9)+kzo3+chr(10) where kzo3 <>''",
     nullptr},
    {Via::Run, "alter table scheine drop column kzo3", nullptr},
    {Via::Run, "alter table ausdrucke add column age integer", nullptr},
    {Via::Run, "update ausdrucke set age = [alter]", nullptr},
    {Via::Run, "alter table ausdrucke drop column [alter]", nullptr},
    {Via::Run, "alter table rezepte add column FLAGS integer", nullptr},
    {Via::Docmed, nullptr, nullptr},
    {Via::Run, "update rezepte set flags=int(f1)", nullptr},
    {Via::Run, "alter table rezepte drop column f1", nullptr},
    {Via::Run, "alter table rezepte drop column f2", nullptr},
    {Via::Run, "alter table rezepte drop constraint primarykey", nullptr},
    {Via::Run, "alter table rezepte drop column mid", nullptr},
    {Via::Run, "alter table rezepte drop column pid", nullptr},
    {Via::Run, "alter table rezepte drop column aid", nullptr},
    {Via::Run, "alter table rezepte drop column anzahl", nullptr},
    {Via::Run, "alter table rezepte drop column verschreibungsanzahl", nullptr},
    {Via::Run, "alter table rezepte drop column zuletztverschrieben", nullptr},
    {Via::Run, "alter table rezepte drop column dauermedikament", nullptr},
    {Via::Run, "alter table notizen add column notiz memo", nullptr},
    {Via::Run, "update notizen set notiz = [text]", nullptr},
    {Via::Run, "alter table notizen drop column [text]", nullptr},
    {Via::Run, "alter table kassenbuch add column titel varchar(255)", nullptr},
    {Via::Run, "update kassenbuch set titel = [text]", nullptr},
    {Via::Run, "alter table kassenbuch drop column [text]", nullptr},
    {Via::Run,
     "create table DATA(DID integer, PID integer, AID integer, CID integer, DATUM timestamp, TXT "
     "memo, flags integer)",
     nullptr},
    {Via::Run, "alter table abrechnungen drop constraint primarykey", nullptr},
    {Via::Run, "create index old_pkey on abrechnungen (aid, pid, datum)", nullptr},
    {Via::RunTwice, "alter table abrechnungen add column zid integer",
     "create unique index I_PK_ABRECHNUNGEN on abrechnungen (zid)"},
    {Via::Run, "alter table diagnosen drop constraint primarykey", nullptr},
    {Via::Run, "create index old_pkey_dg on diagnosen (aid, pid, datum, code, sid)", nullptr},
    {Via::RunTwice, "alter table diagnosen add column did integer",
     "create unique index I_PK_DIAGNOSEN on diagnosen (did)"},
    {Via::Run,
     "create table HAVG_PAT (PID\tinteger, VERTRAG\tinteger, VERTRETUNG\tinteger, "
     "QUARTAL\tinteger )",
     nullptr},
    {Via::Execute,
     "create table HAVG_PATEXTRA (PID\tinteger, LASTCHG\tinteger, ERWERBSTAETIG\tinteger, "
     "WOCHENSTUNDEN\tinteger, BERUF §VARCHAR§(60), GEISTIG integer, SITZEND integer, "
     "BESONDERHEITEN §VARCHAR§(255) )",
     nullptr},
    {Via::Execute,
     "create table PAT_KONTAKT (KID\tinteger, PID\tinteger, TYP §VARCHAR§(30), VAL "
     "§VARCHAR§(100) )",
     nullptr},
    {Via::Execute,
     "create table ITEMHIST (VID\tinteger, IID\tinteger, ITYP\tinteger, IFMT\tinteger, "
     "PID\tinteger, AID\tinteger, LID\tinteger, DATUM\tinteger, TXT\t§MEMO§)",
     nullptr},
    {Via::Run, "alter table data add column deleted integer", nullptr},
    {Via::Run, "update data set deleted=0", nullptr},
    {Via::Run, "alter table diagnosen add column deleted integer", nullptr},
    {Via::Run, "update diagnosen set deleted=0", nullptr},
    {Via::Run, "alter table diagnosen add column created integer", nullptr},
    {Via::Run, "update diagnosen set created=0", nullptr},
    {Via::Run, "alter table data add column created integer", nullptr},
    {Via::Run, "update data set created=0", nullptr},
    {Via::Run, "alter table diagnosen add column rid integer", nullptr},
    {Via::Run, "update diagnosen set rid=-1", nullptr},
    {Via::Run, "alter table abrechnungen add column extra memo", nullptr},
    {Via::Run, "update abrechnungen set extra=''", nullptr},
    {Via::Execute,
     "create table recall ( RECALLID\t\tinteger, DATUM\t\t\tinteger, PID\t\t\tinteger, "
     "AID\t\t\tinteger, IDENT\t\t\t§VARCHAR§(20), TITLE\t\t\t§VARCHAR§(100), TXT\t\t\t§MEMO§)",
     nullptr},
    {Via::Execute,
     "CREATE TABLE TERMINNOTIZ (TID    INTEGER NOT NULL,PID    INTEGER NOT NULL,NOTIZ\t§MEMO§)",
     nullptr},
    {Via::Execute,
     "create table dmp_pat ( DPATID\t\t\tinteger, PID\t\t\tinteger, FALLNUMMER\t\t§VARCHAR§(10), "
     "ART\t\t\tinteger, DATUM\t\t\tinteger, EMPFAENGER\t\tinteger, FLAGS\t\t\tinteger )",
     nullptr},
    {Via::Execute,
     "create table dmp_form ( DMPID \t\tinteger primary key, PID \t\tinteger, AID\t\tinteger, "
     "SID\t\tinteger, BSNR\t\tinteger, LANR\t\tinteger, FORMID\t\tinteger, DATUM\t\tinteger, "
     "ABRECHNUNG\tinteger, FEHLERHAFT\tinteger, GEDRUCKT\tinteger, EMPFAENGER\tinteger, "
     "VERSION\tinteger, CONTENT\t§MEMO§ )",
     nullptr},
    {Via::Execute,
     "create table PAT_UNFALL ( UID\t\t\t\tinteger primary key, PID\t\t\t\tinteger, "
     "BGID\t\t\t\tinteger, TARIF\t\t\t\tinteger, DATUM\t\t\t\tinteger, "
     "PERSUNFALL\t\t\tinteger, UNFALLORT\t\t\t§VARCHAR§(60), BETRIEB\t\t\t§VARCHAR§(60), "
     "BSTRASSE\t\t\t§VARCHAR§(60), BPLZ\t\t\t\t§VARCHAR§(10), BORT\t\t\t\t§VARCHAR§(60), "
     "BTEL\t\t\t\t§VARCHAR§(30), BERICHTNR\t\t\t§VARCHAR§(20), "
     "AKTENZEICHEN\t\t§VARCHAR§(20), ANSPRECHPARTNER\t§VARCHAR§(60), "
     "UNFALLHERGANG\t\t§MEMO§, EINGETROFFEN\t\tinteger)",
     nullptr},
    {Via::Execute, "alter table abrechnungen §ALTERCOL§ multiplikator §TYPE§ integer", nullptr},
};

// RunSQL of one statement; true when it was executed.
bool Run(ArchiveDbPair& archive, const std::string& sql) {
    ObserveStatement(archive, sql);
    return !archive.Connection.RunSQL(sql);
}

// Integer column n as SQL text; null when it is null or cannot be read.
std::string IntegerLiteral(ODBCStmt& stmt, SQLUSMALLINT n) {
    int32_t value = 0;
    bool isNull = false;
    if (!stmt.GetColumnInt(n, value, isNull) || isNull) return "null";
    return std::to_string(value);
}

// Whether the archive has a table "dbv", from the column catalog: a table
// with columns exists. False also when the catalog cannot be read.
bool CatalogShowsNoDbv(ODBCConnection& connection) {
    ODBCStmt stmt(connection);
    char table[] = "dbv";
    SQLRETURN rc = SQLColumns(stmt.Handle(), nullptr, SQL_NTS, nullptr, SQL_NTS,
                              reinterpret_cast<SQLCHAR*>(table), SQL_NTS, nullptr, SQL_NTS);
    if (!SqlSucceeded(rc)) return false;
    return SQLFetch(stmt.Handle()) == SQL_NO_DATA;
}

// The stored version: 0 without table "dbv", 1 when the table exists without
// its row, which only the first step's create leaves behind, so that a ladder
// stopped at the insert resumes there. False when the version cannot be read
// (a query on an existing table, a fetch or a read that fails): that must not
// pass for an archive without a version, or an archive at the current version
// would run the ladder from the start and get a second row in "dbv". The
// failure is then a red line.
bool ReadStoredVersion(ODBCConnection& connection, int32_t& version) {
    version = 0;
    ODBCStmt stmt(connection);
    std::string error;
    bool read = false;
    if (!stmt.ExecDirect("select val from dbv")) {
        error = connection.GetErrorText(stmt.Handle());
        read = CatalogShowsNoDbv(connection);
    } else {
        const SQLRETURN rc = SQLFetch(stmt.Handle());
        if (rc == SQL_NO_DATA) {
            version = 1;
            read = true;
        } else if (SqlSucceeded(rc)) {
            // A null version leaves 0; the first step then finds the table
            // and stops with its message.
            bool isNull = false;
            read = stmt.GetColumnInt(1, version, isNull);
        }
        if (!read) error = connection.GetErrorText(stmt.Handle());
    }
    stmt.Reset();
    if (!read) {
        version = 0;
        AppendLog("Fehler in UpdateDB: " + error, ColourRed);
    }
    return read;
}

// Copies the prescriptions of "rezepte" into the new table "docmed" and
// removes the older duplicates of each drug. A failure after the create takes
// the new table away again, so that the step runs whole at the next start
// instead of stopping at a create that can no longer succeed.
bool ConvertDocmed(ArchiveDbPair& archive) {
    ODBCConnection& connection = archive.Connection;
    ODBCStmt stmt(connection);
    const char* create =
        "create table DOCMED (AID\tinteger, PID\tinteger, DATUM\tinteger, "
        "DAUERMEDIKAMENT\tinteger, ZULETZTVERSCHRIEBEN\tinteger, PZN\tinteger, "
        "VERSCHREIBUNGSANZAHL\tinteger)";
    ObserveStatement(archive, create);
    if (!stmt.ExecDirect(create)) return false;
    bool ok = true;
    stmt.Reset();
    if (!stmt.ExecDirect("select pid,aid,pzn,verschreibungsanzahl,zuletztverschrieben,"
                         "dauermedikament from rezepte")) {
        // The later steps drop these columns of "rezepte": going on without
        // the copy would lose the prescriptions.
        AppendLog("Fehler in TamaroDlg::UpdateDB() " + connection.GetErrorText(stmt.Handle()),
                  ColourRed);
        ok = false;
    }
    while (ok && stmt.Fetch()) {
        std::string values;
        for (SQLUSMALLINT column = 1; column <= 6; ++column)
            values += (column > 1 ? "," : "") + IntegerLiteral(stmt, column);
        ok = Run(archive,
                 "insert into docmed (pid,aid,pzn,verschreibungsanzahl,zuletztverschrieben,"
                 "dauermedikament) values (" +
                     values + ")");
    }
    stmt.Reset();
    if (ok)
        ok = Run(archive,
                 "delete from rezepte where mid in ( select distinct a.mid from rezepte a, "
                 "rezepte b\twhere a.pzn = b.pzn and a.mid < b.mid )");
    if (!ok) {
        ObserveStatement(archive, "drop table DOCMED");
        stmt.ExecDirect("drop table DOCMED");
        stmt.Reset();
    }
    return ok;
}

// One step; false when a statement whose failure counts has failed.
bool RunStep(ArchiveDbPair& archive, const Step& step) {
    switch (step.via) {
        case Via::Run:
            return Run(archive, step.sql);
        case Via::Execute:
            ObserveStatement(archive, step.sql);
            return !archive.Connection.ExecuteSQL(step.sql, archive.Extension.c_str());
        case Via::Nothing:
            return true;
        case Via::Docmed:
            return ConvertDocmed(archive);
        case Via::RunTwice:
            Run(archive, step.sql);
            return Run(archive, step.second);
    }
    return false;
}

}  // namespace

std::string VersionConflictReason(const ArchiveDbPair& archive, int32_t version) {
    const std::string db = "Die Archivdatenbank " + DatabaseDir + "/" + archive.File();
    const std::string locked = " Bis dahin bleiben F4, F5 und F6 gesperrt.";
    if (version < 0)
        return db + " nennt in der Tabelle dbv die ungültige Version " + std::to_string(version) +
               ". Legen Sie sie aus der Datensicherung der Praxis zurück." + locked;
    return db + " hat die Version " + std::to_string(version) + "; dieses Tamaro kennt " +
           "Versionen bis " + std::to_string(CurrentDbVersion) +
           ". Eine neuere Tamaro-Version hat sie bearbeitet: Installieren Sie diese Version (oder "
           "eine spätere) auf diesem Rechner." +
           locked;
}

bool UpdateDB(ArchiveDbPair& archive) {
    ODBCConnection& connection = archive.Connection;
    int32_t start = 0;
    if (!ReadStoredVersion(connection, start)) return false;
    int32_t version = start;
    bool result = false;
    if (version >= 0 && version <= CurrentDbVersion) {
        while (version < CurrentDbVersion && RunStep(archive, kLadder[version])) {
            ++version;
            RunCheckpoint("upgrade");
        }
        result = version == CurrentDbVersion;
    } else {
        AppendLog("Versionskonflikt.", ColourRed);
        AppendLog(VersionConflictReason(archive, version), ColourRed);
    }
    if (version != start) {
        char sql[64];
        std::snprintf(sql, sizeof sql, "update dbv set val=%d", version);
        // An upgrade whose version is not stored would run again, and stop,
        // at the next start: the archive is then not in a usable state.
        if (!Run(archive, sql)) result = false;
    }
    return result;
}
