"""The Firebird driver as independent ODBC clients see it: pyodbc, unixODBC's
isql and iusql, all through the driver manager (ODBCSYSINI from ctest), with
no encoding settings: pyodbc and iusql use the wide entry points."""
import datetime
import decimal
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

import pyodbc

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
from unicode_clients import UnicodeClientCases  # noqa: E402

# The embedded engine of this process and of the isql processes it starts
# keeps its locks to itself: no waiting for other processes on the machine.
os.environ["FIREBIRD_LOCK"] = tempfile.mkdtemp(prefix="tamaro-fblock-")

TEXT = b"M\xe4\xdfig \x95 \xbb d'Arc".decode("cp1252")


def connect_string(path, create=False):
    return ("DRIVER=Firebird/InterBase(r) driver;AutoQuotedIdentifier=false;"
            "client=\\Module\\ETC\\fbclient.dll;DBNAME=%s;UID=SYSDBA;PWD=tilvormex%s"
            % (path, ";CREATEDB=1" if create else ""))


class FirebirdClients(UnicodeClientCases, unittest.TestCase):
    memo_type = "blob sub_type text"
    missing_table_text = "Table unknown\n-NOSUCHTABLE"

    @staticmethod
    def quote(name):
        return '"%s"' % name

    @property
    def data_source(self):
        return {"Driver": "Firebird/InterBase(r) driver", "DBNAME": self.db, "UID": "SYSDBA",
                "PWD": "tilvormex"}

    def reopen(self):
        self.cnxn = self.open()

    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="tamaro-fbclients-")
        self.db = os.path.join(self.dir, "clients.fdb")
        self.cnxn = self.open(create=True)

    def tearDown(self):
        self.cnxn.close()
        shutil.rmtree(self.dir, ignore_errors=True)

    def open(self, create=False, autocommit=True):
        return pyodbc.connect(connect_string(self.db, create), autocommit=autocommit)

    def test_types_round_trip_with_nulls(self):
        cur = self.cnxn.cursor()
        cur.execute("create table t (i integer, s smallint, b bigint, f double precision, "
                    "n numeric(10,2), c varchar(40), m blob sub_type text, d date, "
                    "ts timestamp, tm time, ok boolean)")
        cur.execute("insert into t values (7, -5, 12345678901, 2.5, 12.34, 'x', 'memo', "
                    "'2024-02-29', '2024-02-29 13:45:10', '08:09:10', true)")
        cur.execute("insert into t (i) values (8)")
        rows = cur.execute("select * from t order by i").fetchall()
        self.assertEqual(
            tuple(rows[0]),
            (7, -5, 12345678901, 2.5, decimal.Decimal("12.34"), "x", "memo",
             datetime.date(2024, 2, 29), datetime.datetime(2024, 2, 29, 13, 45, 10),
             datetime.time(8, 9, 10), True))
        self.assertEqual(tuple(rows[1]), (8,) + (None,) * 10)
        self.assertEqual([d[0] for d in cur.description],
                         ["I", "S", "B", "F", "N", "C", "M", "D", "TS", "TM", "OK"])

    def test_cp1252_text_and_long_memo(self):
        cur = self.cnxn.cursor()
        cur.execute("create table m (name varchar(60), note blob sub_type text)")
        cur.execute("insert into m values ('%s', '')" % TEXT.replace("'", "''"))
        chunk = ("ab\u00e4\u2022z" * 4000)
        for _ in range(6):
            cur.execute("update m set note = note || '%s'" % chunk)
        name, note = cur.execute("select name, note from m").fetchone()
        self.assertEqual(name, TEXT)
        self.assertEqual(len(note), 120000)
        self.assertEqual(note, chunk * 6)

    def test_row_counts_columns_and_errors(self):
        cur = self.cnxn.cursor()
        cur.execute("create table patienten (pid integer not null, name varchar(40))")
        for i in range(3):
            self.assertEqual(cur.execute("insert into patienten values (?, 'n')".replace("?", str(i))).rowcount, 1)
        self.assertEqual(cur.execute("update patienten set name = 'm' where pid > 0").rowcount, 2)
        self.assertEqual(cur.execute("delete from patienten where pid = 99").rowcount, 0)
        cols = [(c.column_name, c.data_type, c.column_size, c.nullable)
                for c in cur.columns(table="Patienten")]
        self.assertEqual(cols, [("PID", 4, 10, 0), ("NAME", pyodbc.SQL_WVARCHAR, 40, 1)])
        with self.assertRaises(pyodbc.ProgrammingError) as e:
            cur.execute("select * from nosuchtable")
        self.assertEqual(e.exception.args[0], "42S02")
        self.assertIn("Dynamic SQL Error\n-SQL error code = -204\n-Table unknown\n-NOSUCHTABLE",
                      e.exception.args[1])

    def test_manual_commit_and_rollback(self):
        self.cnxn.cursor().execute("create table tx (id integer)")
        c = self.open(autocommit=False)
        try:
            cur = c.cursor()
            cur.execute("insert into tx values (1)")
            c.rollback()
            self.assertEqual(cur.execute("select count(*) from tx").fetchone()[0], 0)
            cur.execute("insert into tx values (2)")
            c.commit()
        finally:
            c.close()
        self.assertEqual(self.cnxn.cursor().execute("select sum(id) from tx").fetchone()[0], 2)

    def test_isql_runs_statements_and_reports_errors(self):
        self.cnxn.close()
        script = ("create table iq (id integer, name varchar(20))\n"
                  "insert into iq values (1, 'eins')\n"
                  "insert into iq values (2, 'zwei')\n"
                  "select id, name from iq order by id\n")
        out = subprocess.run(["isql", "-b", "-d|", "-k", connect_string(self.db)],
                             input=script.encode(), capture_output=True, timeout=60)
        self.assertEqual(out.returncode, 0, out.stdout + out.stderr)
        self.assertIn(b"1|eins\n2|zwei\n", out.stdout)

        out = subprocess.run(["isql", "-b", "-v", "-k", connect_string(self.db)],
                             input=b"select * from nosuchtable\n", capture_output=True,
                             timeout=60)
        self.assertIn(b"Table unknown", out.stdout + out.stderr)
        self.cnxn = self.open()

    def test_isql_fails_to_connect_to_a_missing_file(self):
        out = subprocess.run(["isql", "-b", "-v", "-k",
                              connect_string(os.path.join(self.dir, "missing.fdb"))],
                             input=b"", capture_output=True, timeout=60)
        self.assertNotEqual(out.returncode, 0)
        self.assertIn(b"I/O error during \"open\" operation", out.stdout + out.stderr)


if __name__ == "__main__":
    unittest.main()
