#!/usr/bin/python3
"""The reference of export_bench: a plain client (pyodbc, through the
project's drivers) reads the rows of each patient, table by table
("select * from <table> where pid = ?"), and writes each table with rows as a
CSV file with Python's csv module, one folder per patient.

Usage: export_reference.py --kind fdb|mdb --database DIR --pids 1,2,3 --out DIR
Prints "seconds <s> rows <n>": the time from the first query to the last
file, without connecting."""
import argparse
import csv
import os
import time

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


def connect(kind, path):
    if kind == "fdb":
        return pyodbc.connect(
            "DRIVER=Firebird/InterBase(r) driver;DBNAME=%s;UID=SYSDBA;PWD=tilvormex" % path)
    return pyodbc.connect("Driver={Microsoft Access Driver (*.mdb)};Dbq=%s;Pwd=lamp(hurz);" % path)


def main():
    p = argparse.ArgumentParser()
    p.add_argument("--kind", required=True)
    p.add_argument("--database", required=True)
    p.add_argument("--pids", required=True)
    p.add_argument("--out", required=True)
    a = p.parse_args()
    connections = [(display, connect(a.kind, os.path.join(a.database, name + "." + a.kind)),
                    tables.split(",")) for display, name, tables in VELUNDA]
    rows = 0
    start = time.monotonic()
    for pid in (int(x) for x in a.pids.split(",")):
        folder = os.path.join(a.out, str(pid))
        os.makedirs(folder)
        for display, con, tables in connections:
            cur = con.cursor()
            for table in tables:
                cur.execute("select * from %s where pid = ?" % table, pid)
                result = cur.fetchall()
                if not result:
                    continue
                rows += len(result)
                with open(os.path.join(folder, "%s.%s.csv" % (display, table)), "w",
                          newline="", encoding="utf-8") as f:
                    w = csv.writer(f)
                    w.writerow([d[0].lower() for d in cur.description])
                    w.writerows(result)
            con.commit()
    print("seconds %.6f rows %d" % (time.monotonic() - start, rows))


if __name__ == "__main__":
    main()
