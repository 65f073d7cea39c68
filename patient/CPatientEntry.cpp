#include "patient/CPatientEntry.h"

#include <cstdio>

#include "core/WindowServices.h"
#include "db/ODBCConnection.h"
#include "db/ODBCStmt.h"

CPatientEntry::CPatientEntry(ODBCConnection* connection) : connection_(connection) {
    Reset();
}

void CPatientEntry::Reset() {
    aid_ = -1;
    aufnahmedatum_ = 0;
    familienstand_ = -1;
    geburtsdatum_.clear();
    geschlecht_ = -1;
    kartengueltigkeit_ = kid_ = 0;
    land_.clear();
    lvorlage_ = 0;
    nachname_.clear();
    namenszusatz_.clear();
    ort_.clear();
    pid_ = 0;
    for (std::string* s :
         {&plz_, &statuszusatz_, &strasse_, &hausnummer_, &vorsatzwort_, &anschriftzusatz_, &titel_,
          &versichertennummer_, &vorname_, &kassenname_, &bild_, &kuerzel_, &bgname_})
        s->clear();
    versichertenstatus_ = vknr_ = -1;
    privatpatient_ = 0;
    bereiche_ = 2047;
    entbindung_ = 0;
    ktab_ = -1;
    hinweise_ = 0;
    gordnung_ = 1;
    unfall_ = lastchange_ = inaktiv_ = pkasse_ = wartestart_ = 0;
    for (int32_t& d : doc_) d = 0;
    bgid_ = 0;
    for (int32_t& k : kat_) k = 0;
    bericht_ = gkvAnid_ = 0;
}

bool CPatientEntry::SetPID(int32_t pid) {
    Reset();
    if (!connection_) {
        ShowError("CPatientEntry::SetPID: Datenbank nicht gesetzt!");
        return false;
    }
    char sql[1024];
    std::snprintf(
        sql, sizeof sql,
        "select aid,aufnahmedatum,familienstand,0,geburtsdatum,geschlecht,kartengueltigkeit,kid,"
        "land,lvorlage,nachname,namenszusatz,ort,pid,plz,statuszusatz,strasse,0,titel,"
        "versichertennummer,versichertenstatus,vknr,vorname,privatpatient,kassenname,bereiche,"
        "entbindung,ktab,hinweise,0,gordnung,unfall,lastchange,0,inaktiv,pkasse,'',wartestart,"
        "bild,doc1,doc2,doc3,doc4,doc5,kuerzel,bgid,bgname,kat1,kat2,kat3,kat4,kat5,kat6,bericht,"
        "hausnummer,vorsatzwort,anschriftzusatz, gkv_anid from patienten where pid=%d",
        pid);
    ODBCStmt stmt(*connection_);
    if (!stmt.ExecDirect(sql) || !stmt.Fetch()) return false;

    // Columns in ascending select position; the constants are not read.
    auto number = [&](SQLUSMALLINT n, int32_t& field) { stmt.GetColumnInt(n, field); };
    auto text = [&](SQLUSMALLINT n, std::string& field) { stmt.GetColumnString(n, field); };
    // A one-byte column: its first byte as a signed number.
    auto byte = [&](SQLUSMALLINT n, int32_t& field) {
        char buffer[100] = {0};
        if (stmt.GetColumnData(n, buffer, sizeof buffer))
            field = static_cast<signed char>(buffer[0]);
    };
    number(1, aid_);
    number(2, aufnahmedatum_);
    number(3, familienstand_);
    text(5, geburtsdatum_);
    number(6, geschlecht_);
    number(7, kartengueltigkeit_);
    number(8, kid_);
    text(9, land_);
    number(10, lvorlage_);
    text(11, nachname_);
    text(12, namenszusatz_);
    text(13, ort_);
    number(14, pid_);
    text(15, plz_);
    text(16, statuszusatz_);
    text(17, strasse_);
    text(19, titel_);
    text(20, versichertennummer_);
    number(21, versichertenstatus_);
    number(22, vknr_);
    text(23, vorname_);
    number(24, privatpatient_);
    text(25, kassenname_);
    number(26, bereiche_);
    number(27, entbindung_);
    number(28, ktab_);
    number(29, hinweise_);
    byte(31, gordnung_);
    byte(32, unfall_);
    number(33, lastchange_);
    byte(35, inaktiv_);
    number(36, pkasse_);
    number(38, wartestart_);
    text(39, bild_);
    for (int i = 0; i < 5; ++i) number(SQLUSMALLINT(40 + i), doc_[i]);
    text(45, kuerzel_);
    number(46, bgid_);
    text(47, bgname_);
    for (int i = 0; i < 6; ++i) number(SQLUSMALLINT(48 + i), kat_[i]);
    number(54, bericht_);
    text(55, hausnummer_);
    text(56, vorsatzwort_);
    text(57, anschriftzusatz_);
    number(58, gkvAnid_);
    return true;
}
