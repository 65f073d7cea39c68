#!/usr/bin/python3
"""Checks one exported patient record against the practice's databases as an
independent client (pyodbc, through the project's drivers) reads them:

  - patient.json holds, table by table, exactly the rows of the patient that
    "select * from <table> where pid = ?" gives, with the same columns and
    values (numbers as numbers, dates and times as ISO strings, null as
    null), binary values as attachments of the same bytes;
  - each CSV file, read back with the csv module, gives the same values;
  - manifest.json names every table with its row count and every file with
    its size and SHA-256, which verify;
  - folders are 0700 and files 0600;
  - pdftotext finds the patient's name, the heading of every table with rows
    and the page numbers in Patientenakte.pdf;
  - the audit log holds the export's entry (category 2).

Usage: check_export.py --kind fdb|mdb --database DIR --side Velunda|Archiv
                       --pid N --folder DIR
Exit status 0 when everything holds; the problems are printed otherwise."""
import argparse
import csv
import datetime
import decimal
import hashlib
import json
import os
import stat
import subprocess
import sys

import pyodbc

VELUNDA = [
    ("Velunda", "data", "patienten,abrechnungen,diagnosen,scheine,termine,kontingente,felder,"
                        "havg_pat,havg_patextra,pat_kontakt,itemhist,recall,terminnotiz,"
                        "dmp_form,dmp_pat,pat_unfall"),
    ("Ifap", "ifap", "docmed"), ("Formulare", "form", "ausdrucke"),
    ("LDT", "ldt", "ldtbericht,ldtnummer"), ("Medikamente", "med", "medhistory"),
    ("Rechnungen", "rechnung", "rechnungen"), ("Kassenbuch", "kassenbuch", "kassenbuch"),
    ("Kartei", "kartei", "data"),
]
ARCHIVE = [("Archiv", "archiv", ",".join(t for _, _, t in VELUNDA))]


def connect(kind, path):
    if kind == "fdb":
        return pyodbc.connect(
            "DRIVER=Firebird/InterBase(r) driver;DBNAME=%s;UID=SYSDBA;PWD=tilvormex" % path,
            autocommit=True)
    return pyodbc.connect(
        "Driver={Microsoft Access Driver (*.mdb)};Dbq=%s;Pwd=lamp(hurz);" % path,
        autocommit=True)


def digest(data):
    return hashlib.sha256(data).hexdigest()


class Checker:
    def __init__(self, args):
        self.args = args
        self.folder = args.folder
        self.problems = []

    def fail(self, text):
        self.problems.append(text)

    def attachment(self, name, where):
        """The bytes of an attachment the record names, or None."""
        path = os.path.join(self.folder, name)
        if not name.startswith("anhaenge/") or not os.path.isfile(path):
            self.fail("%s: no attachment %r" % (where, name))
            return None
        with open(path, "rb") as f:
            return f.read()

    # Each value as a comparable pair, from each of the three sources.
    def from_db(self, v):
        if v is None:
            return ("null", None)
        if isinstance(v, bool):
            return ("bool", v)
        if isinstance(v, (int, float, decimal.Decimal)):
            return ("num", decimal.Decimal(repr(v) if isinstance(v, float) else v).normalize())
        if isinstance(v, (bytes, bytearray)):
            return ("bytes", digest(bytes(v)))
        if isinstance(v, (datetime.date, datetime.time)):
            return ("when", v)
        return ("str", v)

    def from_text(self, text, type_, where, csv_field):
        """A value as the record writes it in text: a JSON string or a CSV field."""
        if type_ in ("date",):
            return ("when", datetime.date.fromisoformat(text))
        if type_ == "time":
            return ("when", datetime.time.fromisoformat(text))
        if type_ == "timestamp":
            return ("when", datetime.datetime.fromisoformat(text))
        if type_ == "binary":
            data = self.attachment(text, where)
            return ("bytes", digest(data) if data is not None else None)
        if csv_field and type_ == "boolean":
            return ("bool", {"true": True, "false": False}.get(text, text))
        if csv_field and (type_ in ("integer", "smallint", "tinyint", "bigint", "double", "real")
                          or type_.startswith("decimal")):
            return ("num", decimal.Decimal(text).normalize())
        return ("str", text)

    def from_json(self, v, type_, where):
        if v is None:
            return ("null", None)
        if isinstance(v, bool):
            return ("bool", v)
        if isinstance(v, (int, decimal.Decimal)):
            return ("num", decimal.Decimal(v).normalize())
        if isinstance(v, dict):
            data = self.attachment(v.get("file", ""), where)
            if data is not None and len(data) != v.get("size"):
                self.fail("%s: size %r of %r is not %d" % (where, v.get("size"), v, len(data)))
            return ("bytes", digest(data) if data is not None else None)
        if type_ in ("date", "time", "timestamp"):
            return self.from_text(v, type_, where, False)
        return ("str", v)

    def from_csv(self, text, type_, expected, where):
        # The csv module gives "" for null and for an empty text alike.
        if text == "" and expected[0] in ("null", "str") and not expected[1]:
            return expected
        return self.from_text(text, type_, where, True)

    def check_table(self, cursor, display, table, record, manifest_tables):
        where = "%s.%s" % (display, table)
        cursor.execute("select * from %s where pid = ?" % table, self.args.pid)
        names = [d[0].lower() for d in cursor.description]
        rows = cursor.fetchall()
        jt = record.get("databases", {}).get(display, {}).get(table)
        if jt is None:
            self.fail("%s: missing in patient.json" % where)
            return 0
        types = [c["type"] for c in jt["columns"]]
        if [c["name"] for c in jt["columns"]] != names:
            self.fail("%s: columns %r, the database has %r" % (where, jt["columns"], names))
            return 0
        expected = sorted((tuple(self.from_db(v) for v in r) for r in rows), key=repr)
        got = sorted((tuple(self.from_json(r.get(n), t, where) for n, t in zip(names, types))
                      for r in jt["rows"]), key=repr)
        if got != expected:
            self.fail("%s: patient.json rows differ:\n  json %r\n  db   %r" % (where, got, expected))
        entry = manifest_tables.get((display, table))
        csv_name = "daten/%s.%s.csv" % (display, table)
        if entry is None or entry["rows"] != len(rows):
            self.fail("%s: manifest says %r, the database has %d rows" % (where, entry, len(rows)))
        path = os.path.join(self.folder, csv_name)
        if not rows:
            if os.path.exists(path) or (entry and entry["file"] is not None):
                self.fail("%s: a CSV file for a table without rows" % where)
            return 0
        if entry and entry["file"] != csv_name:
            self.fail("%s: manifest names %r" % (where, entry["file"]))
        with open(path, newline="", encoding="utf-8") as f:
            lines = list(csv.reader(f))
        if not lines or lines[0] != names:
            self.fail("%s: CSV header %r" % (where, lines[:1]))
            return len(rows)
        got = []
        for line in lines[1:]:
            if len(line) != len(names):
                self.fail("%s: CSV line of %d fields" % (where, len(line)))
                continue
            # Each field is read as the type of its column says; an empty
            # field stands for null or an empty text, whichever the row has.
            candidates = [e for e in expected if all(
                self.from_csv(text, t, e[i], where) == e[i]
                for i, (text, t) in enumerate(zip(line, types)))]
            got.append(candidates[0] if candidates else ("unmatched", tuple(line)))
        if sorted(got, key=repr) != expected:
            self.fail("%s: CSV rows differ:\n  csv %r\n  db  %r" % (where, got, expected))
        return len(rows)

    def check_files(self, manifest):
        listed = {f["name"]: f for f in manifest.get("files", [])}
        found = set()
        for root, dirs, files in os.walk(self.folder):
            for d in dirs:
                mode = stat.S_IMODE(os.lstat(os.path.join(root, d)).st_mode)
                if mode != 0o700:
                    self.fail("folder %s has mode %o" % (os.path.join(root, d), mode))
            for name in files:
                path = os.path.join(root, name)
                mode = stat.S_IMODE(os.lstat(path).st_mode)
                if mode != 0o600:
                    self.fail("file %s has mode %o" % (path, mode))
                rel = os.path.relpath(path, self.folder)
                if rel != "manifest.json":
                    found.add(rel)
        mode = stat.S_IMODE(os.lstat(self.folder).st_mode)
        if mode != 0o700:
            self.fail("folder %s has mode %o" % (self.folder, mode))
        if found != set(listed):
            self.fail("manifest lists %r, the folder holds %r" % (sorted(listed), sorted(found)))
        for name in found & set(listed):
            with open(os.path.join(self.folder, name), "rb") as f:
                data = f.read()
            if listed[name]["size"] != len(data) or listed[name]["sha256"] != digest(data):
                self.fail("%s: size or SHA-256 in the manifest do not verify" % name)

    def check_pdf(self, headings, surname):
        pdf = os.path.join(self.folder, "Patientenakte.pdf")
        text = subprocess.run(["pdftotext", pdf, "-"], capture_output=True, check=False,
                              text=True).stdout
        first = subprocess.run(["pdftotext", "-f", "1", "-l", "1", pdf, "-"],
                               capture_output=True, check=False, text=True).stdout
        for needle in ["Patientenakte", surname, "Seite 1 von"]:
            if needle not in first:
                self.fail("Patientenakte.pdf: %r not on the first page" % needle)
        for heading in headings:
            if heading not in text:
                self.fail("Patientenakte.pdf: no heading %r" % heading)

    def run(self):
        a = self.args
        with open(os.path.join(self.folder, "patient.json"), encoding="utf-8") as f:
            record = json.load(f, parse_float=decimal.Decimal)
        with open(os.path.join(self.folder, "manifest.json"), encoding="utf-8") as f:
            manifest = json.load(f)
        if (record.get("pid"), record.get("side")) != (a.pid, a.side):
            self.fail("patient.json names %r" % ((record.get("pid"), record.get("side")),))
        for key, value in (("pid", a.pid), ("side", a.side), ("format", "Tamaro-Patientenakte 1")):
            if manifest.get(key) != value:
                self.fail("manifest: %s is %r" % (key, manifest.get(key)))
        for key in ("program", "version", "created", "user", "practice"):
            if not manifest.get(key):
                self.fail("manifest: no %s" % key)
        manifest_tables = {(t["database"], t["table"]): t for t in manifest.get("tables", [])}
        databases = VELUNDA if a.side == "Velunda" else ARCHIVE
        if len(manifest_tables) != 24:
            self.fail("manifest names %d tables" % len(manifest_tables))
        headings, surname, total = [], None, 0
        for display, name, tables in databases:
            con = connect(a.kind, os.path.join(a.database, name + "." + a.kind))
            cur = con.cursor()
            for table in tables.split(","):
                n = self.check_table(cur, display, table, record, manifest_tables)
                total += n
                if n:
                    headings.append("%s.%s" % (display, table))
                if table == "patienten":
                    cur.execute("select nachname from patienten where pid = ?", a.pid)
                    surname = cur.fetchone()[0]
            con.close()
        self.check_files(manifest)
        self.check_pdf(headings, surname or "?")
        con = connect(a.kind, os.path.join(a.database, "data." + a.kind))
        cur = con.cursor()
        cur.execute("select kategorie from log where mid = 7 and notiz = ?",
                    "Patientenakte exportiert (Patient %d, %s)." % (a.pid, a.side))
        audit = [r[0] for r in cur.fetchall()]
        con.close()
        if audit != [2]:
            self.fail("audit entries of the export: %r" % audit)
        for p in self.problems:
            print(p)
        print("%s: %d rows in %d tables%s" % (self.folder, total, len(headings),
                                               "" if not self.problems else ", %d problems"
                                               % len(self.problems)))
        return 1 if self.problems else 0


def main():
    p = argparse.ArgumentParser()
    p.add_argument("--kind", required=True)
    p.add_argument("--database", required=True)
    p.add_argument("--side", required=True)
    p.add_argument("--pid", type=int, required=True)
    p.add_argument("--folder", required=True)
    return Checker(p.parse_args()).run()


if __name__ == "__main__":
    sys.exit(main())
