// Every statement of the archive's version ladder, in the form Tamaro sends
// to an Access-kind database, run on an archive of the oldest layout.
#include "tests/drivers/access/AccessTestDb.h"

namespace accesstest {

namespace {

// Steps 0..67 with the Access texts of the kind-dependent placeholders.
const char* const kLadder[] = {
    "create table DBV(VAL integer)",
    "insert into DBV (VAL) values(0)",
    "alter table diagnosen add column notiz memo",
    "update diagnosen set notiz = [text]",
    "alter table diagnosen drop column [text]",
    "alter table patienten add column LASTCHANGE integer",
    "update patienten set lastchange = [update]",
    "alter table patienten drop column [update]",
    "alter table kontingente add column ANTRAGSDATUM varchar(12)",
    "update kontingente set antragsdatum = ''",
    "alter table scheine add column EXTRA memo",
    "update scheine set extra = ''",
    nullptr,
    "update scheine set extra=extra+ 'Kennziffer O I/II'+chr(9)+kzo1+chr(10) where kzo1 <>''",
    "alter table scheine drop column kzo1",
    "update scheine set extra=extra+ 'Kennziffer O III'+chr(9)+kzo3+chr(10) where kzo3 <>''",
    "alter table scheine drop column kzo3",
    "alter table ausdrucke add column age integer",
    "update ausdrucke set age = [alter]",
    "alter table ausdrucke drop column [alter]",
    "alter table rezepte add column FLAGS integer",
    "docmed",
    "update rezepte set flags=int(f1)",
    "alter table rezepte drop column f1",
    "alter table rezepte drop column f2",
    "alter table rezepte drop constraint primarykey",
    "alter table rezepte drop column mid",
    "alter table rezepte drop column pid",
    "alter table rezepte drop column aid",
    "alter table rezepte drop column anzahl",
    "alter table rezepte drop column verschreibungsanzahl",
    "alter table rezepte drop column zuletztverschrieben",
    "alter table rezepte drop column dauermedikament",
    "alter table notizen add column notiz memo",
    "update notizen set notiz = [text]",
    "alter table notizen drop column [text]",
    "alter table kassenbuch add column titel varchar(255)",
    "update kassenbuch set titel = [text]",
    "alter table kassenbuch drop column [text]",
    "create table DATA(DID integer, PID integer, AID integer, CID integer, DATUM timestamp, TXT "
    "memo, flags integer)",
    "alter table abrechnungen drop constraint primarykey",
    "create index old_pkey on abrechnungen (aid, pid, datum)",
    "create unique index I_PK_ABRECHNUNGEN on abrechnungen (zid)",
    "alter table diagnosen drop constraint primarykey",
    "create index old_pkey_dg on diagnosen (aid, pid, datum, code, sid)",
    "create unique index I_PK_DIAGNOSEN on diagnosen (did)",
    "create table HAVG_PAT (PID\tinteger, VERTRAG\tinteger, VERTRETUNG\tinteger, QUARTAL\tinteger "
    ")",
    "create table HAVG_PATEXTRA (PID\tinteger, LASTCHG\tinteger, ERWERBSTAETIG\tinteger, "
    "WOCHENSTUNDEN\tinteger, BERUF text(60), GEISTIG integer, SITZEND integer, BESONDERHEITEN "
    "text(255) )",
    "create table PAT_KONTAKT (KID\tinteger, PID\tinteger, TYP text(30), VAL text(100) )",
    "create table ITEMHIST (VID\tinteger, IID\tinteger, ITYP\tinteger, IFMT\tinteger, "
    "PID\tinteger, AID\tinteger, LID\tinteger, DATUM\tinteger, TXT\tmemo)",
    "alter table data add column deleted integer",
    "update data set deleted=0",
    "alter table diagnosen add column deleted integer",
    "update diagnosen set deleted=0",
    "alter table diagnosen add column created integer",
    "update diagnosen set created=0",
    "alter table data add column created integer",
    "update data set created=0",
    "alter table diagnosen add column rid integer",
    "update diagnosen set rid=-1",
    "alter table abrechnungen add column extra memo",
    "update abrechnungen set extra=''",
    "create table recall ( RECALLID\t\tinteger, DATUM\t\t\tinteger, PID\t\t\tinteger, "
    "AID\t\t\tinteger, IDENT\t\t\ttext(20), TITLE\t\t\ttext(100), TXT\t\t\tmemo)",
    "CREATE TABLE TERMINNOTIZ (TID    INTEGER NOT NULL,PID    INTEGER NOT NULL,NOTIZ\tmemo)",
    "create table dmp_pat ( DPATID\t\t\tinteger, PID\t\t\tinteger, FALLNUMMER\t\ttext(10), "
    "ART\t\t\tinteger, DATUM\t\t\tinteger, EMPFAENGER\t\tinteger, FLAGS\t\t\tinteger )",
    "create table dmp_form ( DMPID \t\tinteger primary key, PID \t\tinteger, AID\t\tinteger, "
    "SID\t\tinteger, BSNR\t\tinteger, LANR\t\tinteger, FORMID\t\tinteger, DATUM\t\tinteger, "
    "ABRECHNUNG\tinteger, FEHLERHAFT\tinteger, GEDRUCKT\tinteger, EMPFAENGER\tinteger, "
    "VERSION\tinteger, CONTENT\tmemo )",
    "create table PAT_UNFALL ( UID\t\t\t\tinteger primary key, PID\t\t\t\tinteger, "
    "BGID\t\t\t\tinteger, TARIF\t\t\t\tinteger, DATUM\t\t\t\tinteger, PERSUNFALL\t\t\tinteger, "
    "UNFALLORT\t\t\ttext(60), BETRIEB\t\t\ttext(60), BSTRASSE\t\t\ttext(60), BPLZ\t\t\t\ttext(10), "
    "BORT\t\t\t\ttext(60), BTEL\t\t\t\ttext(30), BERICHTNR\t\t\ttext(20), "
    "AKTENZEICHEN\t\ttext(20), ANSPRECHPARTNER\ttext(60), UNFALLHERGANG\t\tmemo, "
    "EINGETROFFEN\t\tinteger)",
    "alter table abrechnungen alter multiplikator  integer",
};

}  // namespace

class AccessUpgradeLadder : public AccessTestDb {
  protected:
    void OldestArchive() {
        Exec(
            "create table diagnosen (aid integer, pid integer, datum integer, code text(10), "
            "sid integer, [text] text(255), constraint primarykey primary key (aid, pid, datum, "
            "code, sid))");
        Exec("create table patienten (pid integer, nachname text(40), [update] integer)");
        Exec("create table kontingente (pid integer)");
        Exec("create table scheine (sid integer, pid integer, kzo1 text(20), kzo3 text(20))");
        Exec("create table ausdrucke (pid integer, [alter] integer)");
        Exec(
            "create table rezepte (mid integer, pid integer, aid integer, pzn integer, f1 "
            "text(10), "
            "f2 text(10), anzahl integer, verschreibungsanzahl integer, zuletztverschrieben "
            "integer, "
            "dauermedikament integer, constraint primarykey primary key (mid))");
        Exec(
            "create table notizen (nid integer, pid integer, aid integer, datum integer, [text] "
            "memo)");
        Exec("create table kassenbuch (kid integer, pid integer, [text] text(255))");
        Exec(
            "create table abrechnungen (aid integer, pid integer, datum integer, sid integer, "
            "multiplikator double, primary key (aid, pid, datum))");
        Exec(
            "insert into diagnosen (aid, pid, datum, code, sid, [text]) values (1, 7, 100, 'J06', "
            "1, 'O''Brien')");
        Exec("insert into patienten (pid, nachname, [update]) values (7, 'Müller', 1234)");
        Exec("insert into kontingente (pid) values (7)");
        Exec("insert into scheine (sid, pid, kzo1, kzo3) values (1, 7, 'A1', '')");
        Exec("insert into scheine (sid, pid, kzo1, kzo3) values (2, 7, '', 'C3')");
        Exec("insert into ausdrucke (pid, [alter]) values (7, 42)");
        Exec("insert into rezepte values (1, 7, 1, 111, '3', 'x', 1, 2, 3, 1)");
        Exec("insert into rezepte values (2, 7, 1, 111, '4', 'x', 1, 5, 6, 0)");
        Exec("insert into rezepte values (3, 7, 1, 222, '5', 'x', 1, 8, 9, 0)");
        Exec("insert into notizen values (1, 7, 1, 1000, 'Notiz')");
        Exec("insert into kassenbuch values (1, 7, 'Bar')");
        Exec("insert into abrechnungen values (1, 7, 100, 1, 2.0)");
    }

    void Docmed() {
        Exec(
            "create table DOCMED (AID\tinteger, PID\tinteger, DATUM\tinteger, "
            "DAUERMEDIKAMENT\tinteger, "
            "ZULETZTVERSCHRIEBEN\tinteger, PZN\tinteger, VERSCHREIBUNGSANZAHL\tinteger)");
        for (const auto& r : Rows("select pid,aid,pzn,verschreibungsanzahl,zuletztverschrieben,"
                                  "dauermedikament from rezepte")) {
            char sql[300];
            std::snprintf(
                sql, sizeof sql,
                "insert into docmed (pid,aid,pzn,verschreibungsanzahl,zuletztverschrieben,"
                "dauermedikament) values (%d,%d,%d,%d,%d,%d)",
                int(r[0].i), int(r[1].i), int(r[2].i), int(r[3].i), int(r[4].i), int(r[5].i));
            Exec(sql);
        }
        Exec(
            "delete from rezepte where mid in ( select distinct a.mid from rezepte a, rezepte "
            "b\twhere "
            "a.pzn = b.pzn and a.mid < b.mid )");
    }
};

TEST_F(AccessUpgradeLadder, EveryStepRunsAndKeepsTheData) {
    OldestArchive();
    int version = 0;
    for (const char* step : kLadder) {
        if (!step) {
        } else if (std::string(step) == "docmed") {
            Docmed();
        } else if (version == 42 || version == 45) {
            // These steps first add the key column, whose failure is ignored.
            Exec(version == 42 ? "alter table abrechnungen add column zid integer"
                               : "alter table diagnosen add column did integer");
            Exec(step);
        } else {
            try {
                Exec(step);
            } catch (const odbcdrv::DriverError& e) {
                FAIL() << "step " << version << ": " << step << "\n" << e.message;
            }
        }
        ++version;
    }
    ASSERT_EQ(version, 68);
    Exec("update dbv set val=68");
    EXPECT_EQ(Int("select val from dbv"), 68);

    EXPECT_EQ(Text("select notiz from diagnosen"), "O'Brien");
    EXPECT_EQ(Int("select lastchange from patienten"), 1234);
    EXPECT_EQ(Text("select nachname from patienten"), "Müller");
    EXPECT_EQ(Text("select extra from scheine where sid=1"), "Kennziffer O I/II\tA1\n");
    EXPECT_EQ(Text("select extra from scheine where sid=2"), "Kennziffer O III\tC3\n");
    EXPECT_EQ(Int("select age from ausdrucke"), 42);
    EXPECT_EQ(Int("select count(*) from docmed"), 3);
    EXPECT_EQ(Int("select count(*) from rezepte"), 2);  // the older duplicate of pzn 111 is gone
    EXPECT_EQ(Int("select sum(flags) from rezepte"), 9);
    EXPECT_EQ(Text("select notiz from notizen"), "Notiz");
    EXPECT_EQ(Text("select titel from kassenbuch"), "Bar");
    EXPECT_EQ(db_->TableColumns("abrechnungen")[4].sqlType, SQL_INTEGER);
    EXPECT_EQ(Int("select multiplikator from abrechnungen"), 2);
    EXPECT_EQ(Int("select rid from diagnosen"), -1);

    std::string names;
    for (const auto& c : db_->TableColumns("rezepte")) names += c.name + " ";
    EXPECT_EQ(names, "pzn FLAGS ");
    // The notes migration writes its dates in this form into data.
    Exec(
        "insert into data (did, pid, aid, cid, datum, txt, flags, deleted, created) "
        "values(1, 7, 1, 4, #2004-3-9 08:05:00#, 'It''s', 0, 0, 5)");
    auto rows = Rows("select datum, txt from data");
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0][0].ts.day, 9);
    EXPECT_EQ(rows[0][1].s, "It's");
}

}  // namespace accesstest
