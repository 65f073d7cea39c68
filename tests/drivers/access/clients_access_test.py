"""The Access-kind driver as independent ODBC clients see it: pyodbc, unixODBC's
isql and iusql through the driver manager (ODBCSYSINI from ctest), with the
Access SQL that Tamaro sends and no encoding settings: pyodbc and iusql use
the wide entry points, which describe text columns with the wide types."""
import datetime
import os
import shutil
import sqlite3
import subprocess
import sys
import tempfile
import unittest

import pyodbc

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
from unicode_clients import UnicodeClientCases  # noqa: E402

TEXT = b"M\xe4\xdfig \x95 \xbb d'Arc".decode("cp1252")


def connect_string(path, create=False, pwd="lamp(hurz)"):
    return ("Driver={Microsoft Access Driver (*.mdb)};Dbq=%s;Pwd=%s;%s"
            % (path, pwd, "CREATEDB=1;" if create else ""))


class AccessClients(UnicodeClientCases, unittest.TestCase):
    memo_type = "memo"
    missing_table_text = "no such table: nosuchtable"

    @staticmethod
    def quote(name):
        return "[%s]" % name

    @property
    def data_source(self):
        return {"Driver": "Microsoft Access Driver (*.mdb)", "Dbq": self.db, "Pwd": "lamp(hurz)"}

    def reopen(self):
        self.cnxn = self.open()
        self.cur = self.cnxn.cursor()

    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="tamaro-accessclients-")
        self.db = os.path.join(self.dir, "archiv.mdb")
        self.cnxn = self.open(create=True)
        self.cur = self.cnxn.cursor()

    def tearDown(self):
        self.cnxn.close()
        shutil.rmtree(self.dir, ignore_errors=True)

    def open(self, create=False, pwd="lamp(hurz)"):
        return pyodbc.connect(connect_string(self.db, create, pwd), autocommit=True)

    def scalar(self, sql):
        return self.cur.execute(sql).fetchone()[0]

    def columns(self, table):
        return [(c.column_name, c.data_type, c.column_size)
                for c in self.cur.columns(table=table)]

    def test_every_type_name_and_its_reported_type(self):
        self.cur.execute(
            "create table t (a text(60), b varchar(12), c char(4), d memo, e integer, f long, "
            "g counter, h smallint, i byte, j bit, k double, l double precision, m float, "
            "n single, o real, p datetime, q date, r time, s timestamp, u varchar)")
        self.assertEqual(self.columns("T"), [
            ("a", -9, 60), ("b", -9, 12), ("c", -8, 4), ("d", -10, 1073741823), ("e", 4, 10),
            ("f", 4, 10), ("g", 4, 10), ("h", 5, 5), ("i", -6, 3), ("j", -7, 1), ("k", 8, 53),
            ("l", 8, 53), ("m", 8, 53), ("n", 7, 24), ("o", 7, 24), ("p", 93, 19),
            ("q", 91, 10), ("r", 92, 8), ("s", 93, 19), ("u", -9, 255)])
        self.cur.execute("insert into t (a, e, h, i, j, k, n, p, q, r) values ('x', 1, 2, 3, 1, "
                         "2.5, 1.5, #2020-01-31 08:05:09#, #2019-03-07#, #08:05:09#)")
        row = self.cur.execute("select a, e, h, i, j, k, n, p, q, r, g from t").fetchone()
        self.assertEqual(tuple(row), ("x", 1, 2, 3, True, 2.5, 1.5,
                                      datetime.datetime(2020, 1, 31, 8, 5, 9),
                                      datetime.date(2019, 3, 7), datetime.time(8, 5, 9), 1))

    def test_date_literals_with_single_digit_month_and_day(self):
        self.cur.execute("create table DATA(DID integer, DATUM timestamp, TXT memo)")
        self.cur.execute("insert into data (did, datum, txt) values(1, #2004-3-9 08:05:00#, "
                         "'It''s')")
        self.assertEqual(self.scalar("select datum from data where datum = #2004-03-09 08:05#"),
                         datetime.datetime(2004, 3, 9, 8, 5))
        with self.assertRaises(pyodbc.Error) as e:
            self.cur.execute("insert into data (did, datum) values(2, #2004-13-9#)")
        self.assertIn("Syntax error in date", str(e.exception))

    def test_alter_forms_keep_rows_and_indexes(self):
        self.cur.execute("create table abrechnungen (zid integer, pid integer, "
                         "multiplikator double, [text] text(20), primary key (zid))")
        self.cur.execute("create index old_pkey on abrechnungen (pid, zid)")
        for i in range(1, 21):
            self.cur.execute("insert into abrechnungen (zid, pid, multiplikator, [text]) "
                             "values (%d, %d, %d.0, 't%d')" % (i, i % 3, i, i))
        self.cur.execute("alter table abrechnungen alter multiplikator  integer")
        self.cur.execute("ALTER TABLE ABRECHNUNGEN alter column TEXT VARCHAR(80)")
        self.cur.execute("alter table abrechnungen add extra memo")
        self.cur.execute("alter table abrechnungen add column deleted integer")
        self.cur.execute("alter table abrechnungen drop column deleted")
        self.cur.execute("alter table abrechnungen drop [extra]")
        self.assertEqual(self.columns("abrechnungen"), [
            ("zid", 4, 10), ("pid", 4, 10), ("multiplikator", 4, 10), ("text", -9, 80)])
        self.assertEqual(self.scalar("select count(*) from abrechnungen"), 20)
        self.assertEqual(self.scalar("select sum(multiplikator) from abrechnungen"), 210)
        with self.assertRaises(pyodbc.IntegrityError):
            self.cur.execute("insert into abrechnungen (zid) values (5)")
        self.cur.execute("alter table abrechnungen drop constraint primarykey")
        self.cur.execute("insert into abrechnungen (zid) values (5)")
        self.cur.execute("create unique index I_PK_ABRECHNUNGEN on abrechnungen (pid, zid)")
        with self.assertRaises(pyodbc.IntegrityError):
            self.cur.execute("insert into abrechnungen (pid, zid) values (2, 5)")

    def test_text_operators_and_functions(self):
        self.cur.execute("create table scheine (sid integer, extra memo, kzo1 text(20), "
                         "f1 text(10), flags integer)")
        self.cur.execute("insert into scheine (sid, extra, kzo1, f1) values (1, '', 'A', '7.9')")
        self.cur.execute("update scheine set extra=extra+ 'Kennziffer O I/II'+chr(9)+kzo1"
                         "+chr(10) where kzo1 <>''")
        self.cur.execute("update scheine set flags=int(f1)")
        row = self.cur.execute("select extra, flags, trim('  x  '), chr(149) from scheine").fetchone()
        self.assertEqual(tuple(row), ("Kennziffer O I/II\tA\n", 7, "x", "\u2022"))

    def test_queries_of_the_patient_list(self):
        self.cur.execute("create table patienten (pid integer, nachname text(40), "
                         "vorname text(40), privatpatient integer, aufnahmedatum integer, aid integer)")
        self.cur.execute("create table abrechnungen (pid integer, datum integer)")
        self.cur.execute("create table uac_lid2gid (lid integer, gid integer)")
        self.cur.execute("create table uac_tid2gid (tid integer, gid integer)")
        for pid, name in ((1, "Müller"), (2, "O'Brien"), (3, "meier")):
            self.cur.execute("insert into patienten values (%d, '%s', 'V', 0, 100, 1)"
                             % (pid, name.replace("'", "''")))
        self.cur.execute("insert into abrechnungen values (1, 50)")
        self.cur.execute("insert into abrechnungen values (1, 70)")
        self.cur.execute("insert into uac_lid2gid values (5, 1)")
        rows = self.cur.execute(
            "select pid, nachname, vorname, privatpatient from patienten where "
            "(aufnahmedatum>=0 and aufnahmedatum<=200) and nachname like '%ER%' and "
            "pid in (1,2,3) and aid=1 order by trim(nachname), vorname").fetchall()
        self.assertEqual([r[0] for r in rows], [3, 1])
        self.assertEqual(self.cur.execute("select pid, max(datum) from abrechnungen group by pid")
                         .fetchall()[0][1], 70)
        self.assertEqual(self.cur.execute(
            "select distinct b.tid from uac_lid2gid a left join uac_tid2gid b on (a.gid=b.gid) "
            "where a.lid=5").fetchall()[0][0], None)
        self.assertIsNone(self.scalar("select max(datum)+1 from abrechnungen where pid = 99"))
        self.assertEqual(self.scalar("select count(pid) from patienten"), 3)

    def test_cp1252_round_trip_and_utf8_inside(self):
        self.cur.execute("create table m (name text(60), note memo)")
        self.cur.execute("insert into m values ('%s', '%s')"
                         % (TEXT.replace("'", "''"), ("ä" * 70000)))
        row = self.cur.execute("select name, note from m where name = '%s'"
                               % TEXT.replace("'", "''")).fetchone()
        self.assertEqual(row[0], TEXT)
        self.assertEqual(row[1], "ä" * 70000)
        self.cnxn.close()
        raw = sqlite3.connect(self.db)
        self.assertEqual(raw.execute("select name from m").fetchone()[0], TEXT)
        raw.close()
        self.cnxn = self.open()
        self.cur = self.cnxn.cursor()

    def test_refusals_with_clear_texts(self):
        self.cur.execute("create table t (s text(5), n integer)")
        cases = [("insert into t (s) values ('sechs6')", "22001", "too small"),
                 ("insert into t (n) values ('zwölf')", "22018", "is no number"),
                 ("select * from nosuch", "42S02", "no such table: nosuch"),
                 ("selec * from t", "42000", "Invalid SQL statement")]
        for sql, state, text in cases:
            with self.subTest(sql=sql):
                with self.assertRaises(pyodbc.Error) as e:
                    self.cur.execute(sql)
                self.assertEqual(e.exception.args[0], state)
                self.assertIn("[Tamaro][Access driver] ", e.exception.args[1])
                self.assertIn(text, e.exception.args[1])
        self.assertEqual(self.cur.execute("delete from t where n = 1").rowcount, 0)

    def test_wrong_password_and_missing_file(self):
        with self.assertRaises(pyodbc.Error) as e:
            self.open(pwd="lamp(HURZ)")
        self.assertIn("Not a valid password", str(e.exception))
        self.db = os.path.join(self.dir, "kartei.mdb")
        with self.assertRaises(pyodbc.Error) as e:
            self.open()
        self.assertIn("Could not find file '%s'" % self.db, str(e.exception))
        self.assertFalse(os.path.exists(self.db))

    def test_isql_runs_a_script(self):
        self.cnxn.close()
        script = ("create table t (a integer, b text(10))\n"
                  "insert into t (a, b) values (1, 'eins')\n"
                  "select a, b from t where b like 'ei%'\n")
        out = subprocess.run(["isql", "-b", "-d|", "-k", connect_string(self.db)],
                             input=script.encode(), capture_output=True, check=False)
        self.assertEqual(out.returncode, 0, out.stdout + out.stderr)
        self.assertIn(b"1|eins", out.stdout)
        self.cnxn = self.open()
        self.cur = self.cnxn.cursor()


if __name__ == "__main__":
    unittest.main()
