"""Unicode clients on either database kind, without any encoding settings:
pyodbc and unixODBC's iusql reach the driver through its wide entry points.

Mixed into the client tests of each kind, which provide self.dir, self.db,
self.cnxn (a pyodbc connection), self.reopen() and:
  quote(name)          the identifier quoted in the kind's dialect
  memo_type            a long text type
  data_source          the keys of an odbc.ini data source for self.db
  missing_table_text   what the driver says about the table "nosuchtable"
"""
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
