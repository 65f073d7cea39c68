"""Unicode clients on either database kind, without any encoding settings:
pyodbc and unixODBC's iusql reach the driver through its wide entry points.

Mixed into the client tests of each kind, which provide self.dir, self.db,
self.cnxn (a pyodbc connection), self.reopen() and:
  quote(name)          the identifier quoted in the kind's dialect
  memo_type            a long text type
  data_source          the keys of an odbc.ini data source for self.db
  missing_table_text   what the driver says about the table "nosuchtable"
"""
import datetime
import os
import subprocess

import pyodbc

TEXT = "O'Brien Müßig • » €"


def literal(text):
    return "'" + text.replace("'", "''") + "'"


class UnicodeClientCases:
    def make_customers(self):
        cur = self.cnxn.cursor()
        cur.execute("create table %s (%s varchar(60), %s %s)"
                    % (self.quote("Kunden"), self.quote("Näme"), self.quote("Notiz"),
                       self.memo_type))
        cur.execute("insert into %s values (%s, %s)"
                    % (self.quote("Kunden"), literal(TEXT), literal(TEXT * 3000)))
        return cur

    def test_pyodbc_writes_reads_and_lists_unicode_text(self):
        cur = self.make_customers()
        row = cur.execute("select %s, %s from %s where %s = %s"
                          % (self.quote("Näme"), self.quote("Notiz"), self.quote("Kunden"),
                             self.quote("Näme"), literal(TEXT))).fetchone()
        self.assertEqual(tuple(row), (TEXT, TEXT * 3000))
        self.assertEqual([d[0] for d in cur.description], ["Näme", "Notiz"])
        self.assertEqual([t.table_name for t in cur.tables()], ["Kunden"])
        self.assertEqual([(c.table_name, c.column_name, c.data_type)
                          for c in cur.columns(table="Kunden")],
                         [("Kunden", "Näme", pyodbc.SQL_WVARCHAR),
                          ("Kunden", "Notiz", pyodbc.SQL_WLONGVARCHAR)])
        with self.assertRaises(pyodbc.Error) as e:
            cur.execute("select * from %s" % self.quote("Gäste • €"))
        self.assertIn("Gäste • €", e.exception.args[1])

    def test_character_outside_code_page_1252_is_refused(self):
        cur = self.make_customers()
        with self.assertRaises(pyodbc.Error) as e:
            cur.execute("insert into %s (%s) values ('Łódź')"
                        % (self.quote("Kunden"), self.quote("Näme")))
        self.assertEqual(e.exception.args[0], "22021")
        self.assertIn("The character U+0141 at position", e.exception.args[1])
        self.assertEqual(cur.execute("select count(*) from %s" % self.quote("Kunden"))
                         .fetchone()[0], 1)

    def iusql(self, script):
        ini = os.path.join(self.dir, "odbc.ini")
        with open(ini, "w") as f:
            f.write("[tamaro_unicode]\n")
            for key, value in self.data_source.items():
                f.write("%s=%s\n" % (key, value))
        return subprocess.run(["iusql", "-b", "-v", "-d|", "tamaro_unicode"],
                               input=script.encode(), capture_output=True, timeout=60,
                               env=dict(os.environ, ODBCINI=ini))

    def test_iusql_through_a_data_source(self):
        self.make_customers()
        self.cnxn.close()
        out = self.iusql("select * from %s\nhelp Kunden\nselect * from nosuchtable\n"
                         "insert into %s values (%s, '')\n"
                         % (self.quote("Kunden"), self.quote("Kunden"), literal("Müßig")))
        self.reopen()
        # iusql prints the low byte of each UTF-16 character it reads: Latin-1
        # characters come out as their code page 1252 bytes, the bullet U+2022
        # and the euro sign U+20AC as 0x22 and 0xAC. That is what correct UTF-16
        # turns into there; the bytes 0x95 and 0x80 would mean text handed over
        # unconverted.
        self.assertIn(bytes(ord(c) & 0xFF for c in TEXT) + b"|", out.stdout)
        self.assertIn(b"|Kunden|N\xe4me|", out.stdout)
        self.assertIn(self.missing_table_text.encode(), out.stdout)
        # iusql widens each byte it reads with sign extension, so the UTF-8 of
        # "ü" arrives as U+FFC3 U+FFBC: refused, and nothing is stored.
        self.assertIn(b"The character U+FFC3 at position", out.stdout)
        self.assertEqual(self.cnxn.cursor().execute(
            "select count(*) from %s" % self.quote("Kunden")).fetchone()[0], 1)

    # Clients beyond Unicode text: parameters, the catalog and the narrow
    # clients that speak the locale's UTF-8.

    def connect_string(self):
        return ";".join("%s={%s}" % kv for kv in self.data_source.items())

    def test_pyodbc_parameters_executemany_and_fast_executemany(self):
        cur = self.cnxn.cursor()
        cur.execute("create table pp (id integer not null primary key, name varchar(40), "
                    "amount double precision, born date, seen timestamp, note %s)"
                    % self.memo_type)
        seen = datetime.datetime(2024, 2, 29, 13, 45, 10)
        cur.execute("insert into pp values (?, ?, ?, ?, ?, ?)", 1, TEXT, 2.5,
                    datetime.date(1970, 1, 31), seen, TEXT * 20000)
        cur.executemany("insert into pp (id, name) values (?, ?)",
                        [(i, "Köln %d" % i) for i in range(2, 52)])
        cur.fast_executemany = True
        cur.executemany("insert into pp (id, name, amount, note) values (?, ?, ?, ?)",
                        [(i, "Gießen %d" % i, i / 4, None if i % 2 else "n" * i)
                         for i in range(100, 400)])
        cur.fast_executemany = False
        self.assertEqual(cur.execute("select count(*) from pp").fetchone()[0], 351)
        self.assertEqual(tuple(cur.execute("select name, amount, born, seen from pp where id = ?",
                                           1).fetchone()),
                         (TEXT, 2.5, datetime.date(1970, 1, 31), seen))
        self.assertEqual(cur.execute("select note from pp where id = ?", 1).fetchone()[0],
                         TEXT * 20000)
        self.assertEqual(tuple(cur.execute("select name, amount, note from pp where id = ?",
                                           150).fetchone()),
                         ("Gießen 150", 37.5, "n" * 150))
        self.assertEqual(cur.execute("select count(*) from pp where name like ? and note is null",
                                     "Gie%").fetchone()[0], 150)
        cur.execute("update pp set name = ? where id = ?", None, 2)
        self.assertIsNone(cur.execute("select name from pp where id = 2").fetchone()[0])
        with self.assertRaises(pyodbc.Error) as e:
            cur.execute("update pp set name = ? where id = 3", "Łódź")
        self.assertEqual(e.exception.args[0], "22021")
        self.assertEqual(cur.execute("select name from pp where id = 3").fetchone()[0], "Köln 3")
        # A marker without a value is refused, not taken as a null.
        with self.assertRaises(pyodbc.Error) as e:
            cur.execute("update pp set name = ? where id = 3")
        self.assertEqual(e.exception.args[0], "07002")
        self.assertEqual(cur.execute("select name from pp where id = 3").fetchone()[0], "Köln 3")

    def test_pyodbc_keys_statistics_and_types(self):
        cur = self.cnxn.cursor()
        cur.execute("create table kk (aid integer not null, pid integer not null, "
                    "name varchar(40), primary key (aid, pid))")
        cur.execute("create index kk_name on kk (name)")
        self.assertEqual([(r.column_name.lower(), r.key_seq) for r in cur.primaryKeys("kk")],
                         [("aid", 1), ("pid", 2)])
        stats = [(r.index_name.lower(), r.ordinal_position, r.column_name.lower(), r.non_unique)
                 for r in cur.statistics("kk") if r.index_name]
        self.assertIn(("kk_name", 1, "name", 1), stats)
        self.assertEqual(sorted((s[1], s[2]) for s in stats if s[3] == 0),
                         [(1, "aid"), (2, "pid")])
        types = {(r.type_name, r.data_type) for r in cur.getTypeInfo()}
        for c in cur.columns(table="kk"):
            self.assertIn((c.type_name, c.data_type), types)
        self.assertEqual([r.type_name for r in cur.getTypeInfo(pyodbc.SQL_WVARCHAR)],
                         ["VARCHAR"])

    def test_pyodbc_columns_with_patterns(self):
        cur = self.cnxn.cursor()
        for table, columns in (("pat_a", "n1 integer, n2 integer"), ("patxa", "n1 integer"),
                               ("other", "n1 integer")):
            cur.execute("create table %s (%s)" % (table, columns))

        def listed(**pattern):
            return sorted((c.table_name.lower(), c.column_name.lower())
                          for c in cur.columns(**pattern))
        self.assertEqual(listed(), [("other", "n1"), ("pat_a", "n1"), ("pat_a", "n2"),
                                    ("patxa", "n1")])
        self.assertEqual(listed(table="pat%"), [("pat_a", "n1"), ("pat_a", "n2"),
                                                ("patxa", "n1")])
        self.assertEqual(listed(table="pat\\_a"), [("pat_a", "n1"), ("pat_a", "n2")])
        self.assertEqual(listed(table="PAT%", column="n2"), [("pat_a", "n2")])

    def test_isql_in_a_utf8_locale_reads_and_writes_umlauts(self):
        cur = self.cnxn.cursor()
        cur.execute("create table orte (ort varchar(40), name varchar(40))")
        cur.executemany("insert into orte values (?, ?)",
                        [("Köln", "n%d" % i) for i in range(26)] + [("Bonn", "b")] * 4)
        self.cnxn.close()
        script = ("select count(*) from orte where ort = 'Köln'\n"
                  "insert into orte values ('Düsseldorf', 'Jürgen Größ')\n"
                  "select name from orte where ort = 'Düsseldorf'\n"
                  "insert into orte values ('Łódź', 'x')\n")
        out = subprocess.run(["isql", "-b", "-v", "-d|", "-k", self.connect_string()],
                             input=script.encode(), capture_output=True, timeout=60,
                             env=dict(os.environ, LC_ALL="C.UTF-8"))
        self.reopen()
        lines = out.stdout.decode("utf-8").splitlines()
        self.assertIn("26", lines)
        self.assertIn("Jürgen Größ", lines)
        self.assertIn("[22021]The character U+0141 at position 27 cannot be represented in code "
                      "page 1252, in which the database keeps its text.", lines)
        self.assertEqual(self.cnxn.cursor().execute(
            "select name from orte where ort = ?", "Düsseldorf").fetchall()[0][0], "Jürgen Größ")
        self.assertEqual(self.cnxn.cursor().execute("select count(*) from orte").fetchone()[0],
                         31)

    def test_perl_dbi_reads_writes_and_lists(self):
        if subprocess.run(["perl", "-MDBD::ODBC", "-e", "1"], capture_output=True).returncode:
            self.skipTest("DBD::ODBC is not installed")
        self.cnxn.close()
        script = os.path.join(os.path.dirname(os.path.abspath(__file__)), "dbi_client.pl")
        out = subprocess.run(["perl", script, self.connect_string(), self.memo_type],
                             capture_output=True, timeout=120,
                             env=dict(os.environ, LC_ALL="C.UTF-8"))
        self.reopen()
        self.assertEqual(out.returncode, 0, out.stdout + out.stderr)
        self.assertEqual(out.stdout.decode("utf-8").splitlines(), [
            "unicode=0",
            "found=1 Köln",
            "literal=1",
            "long=100000",
            "primary_key=pid",
            "type_info=yes",
            "quote='O''Brien'",
            "columns=dk.note,dk.ort,dk.pid",
            "refused=22021",
            "rows=2",
        ])
        self.assertEqual(self.cnxn.cursor().execute(
            "select ort from dk where pid = 2").fetchone()[0], "Jürgen Größ")
