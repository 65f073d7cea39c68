#!/usr/bin/python3
"""LibreOffice Base against both database kinds, run by hand (LibreOffice is too
large to install in every CI run):

    ODBCSYSINI=build/odbc /usr/bin/python3 tests/drivers/libreoffice_base_check.py

Needs the Debian packages libreoffice-base, libreoffice-base-drivers,
python3-uno, xvfb and python3-pyodbc. For each kind it makes a small database
with pyodbc, names it as a data source in an odbc.ini of its own (no
character-set setting anywhere), starts LibreOffice as a user would (with its
window system, on a virtual display; --headless starts it without one, and
then it needs --charset UTF8) and
drives Base through UNO the way its table view does: connect by the data
source, list tables, open a table, edit a cell, add and delete a row, read and
write umlauts, read a long value, and run a prepared statement with a
parameter. It prints one line per check and exits with 1 when any failed."""
import argparse
import os
import shutil
import socket
import subprocess
import sys
import tempfile
import time

import pyodbc
import uno
from com.sun.star.beans import PropertyValue  # noqa: F401 (registers the UNO type)

LONG = "Notiz über Müller • " * 5000  # 100,000 characters


def kinds(work):
    return {
        "mdb": {"Driver": "Microsoft Access Driver (*.mdb)", "Dbq": work + "/archiv.mdb",
                "Pwd": "lamp(hurz)"},
        "fdb": {"Driver": "Firebird/InterBase(r) driver", "DBNAME": work + "/archiv.fdb",
                "UID": "SYSDBA", "PWD": "tilvormex"},
    }


def make_database(keys, memo):
    cs = ";".join("%s={%s}" % kv for kv in keys.items()) + ";CREATEDB=1"
    c = pyodbc.connect(cs, autocommit=True)
    cur = c.cursor()
    cur.execute("create table patienten (pid integer not null primary key, "
                "nachname varchar(40), ort varchar(40), notiz %s)" % memo)
    cur.execute("insert into patienten values (?, ?, ?, ?)", 1, "Müller", "Köln", LONG)
    cur.execute("insert into patienten values (?, ?, ?, ?)", 2, "Schmidt", "Bonn", None)
    c.close()
    return cs.replace(";CREATEDB=1", "")


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class Office:
    def __init__(self, work, headless):
        self.port = free_port()
        launch = [] if headless else ["xvfb-run", "-a"]
        args = ["soffice", "--invisible", "--nologo", "--norestore",
                "-env:UserInstallation=file://" + work + "/profile",
                "--accept=socket,host=127.0.0.1,port=%d;urp;" % self.port]
        if headless:
            args.insert(1, "--headless")
        self.proc = subprocess.Popen(launch + args, stdout=subprocess.DEVNULL,
                                     stderr=subprocess.DEVNULL)
        local = uno.getComponentContext()
        resolver = local.ServiceManager.createInstanceWithContext(
            "com.sun.star.bridge.UnoUrlResolver", local)
        for _ in range(200):
            try:
                self.ctx = resolver.resolve(
                    "uno:socket,host=127.0.0.1,port=%d;urp;StarOffice.ComponentContext" % self.port)
                break
            except Exception:
                time.sleep(0.3)
        else:
            raise RuntimeError("LibreOffice did not start")
        self.smgr = self.ctx.ServiceManager

    def create(self, name):
        return self.smgr.createInstanceWithContext(name, self.ctx)

    def close(self):
        try:
            self.create("com.sun.star.frame.Desktop").terminate()
        except Exception:
            pass
        try:
            self.proc.wait(timeout=60)
        except subprocess.TimeoutExpired:
            self.proc.kill()


def check_kind(office, kind, cs, results):
    def record(what, ok, detail=""):
        results.append((kind, what, ok, detail))
        print("%s  %-40s %s %s" % (kind, what, "ok  " if ok else "FAIL", detail), flush=True)

    con = None
    try:
        ds = office.create("com.sun.star.sdb.DatabaseContext").createInstance()
        ds.URL = "sdbc:odbc:tamaro_" + kind
        con = ds.getConnection("", "")
        record("connect by data source", True)
        md = con.getMetaData()
        rs = md.getTables(None, "%", "%", ("TABLE", "VIEW"))
        tables = []
        while rs.next():
            tables.append(rs.getString(3))
        record("list tables", [t.lower() for t in tables] == ["patienten"], str(tables))
        rs = md.getPrimaryKeys(None, "", tables[0])
        keys = []
        while rs.next():
            keys.append(rs.getString(4).lower())
        record("primary key", keys == ["pid"], str(keys))

        rows = office.create("com.sun.star.sdb.RowSet")
        rows.ActiveConnection = con
        rows.CommandType = 0  # a table, as the table view opens it
        rows.Command = tables[0]
        rows.execute()
        seen = []
        while rows.next():
            seen.append((rows.getInt(1), rows.getString(2), rows.getString(3)))
        record("open table, umlauts read", seen == [(1, "Müller", "Köln"), (2, "Schmidt", "Bonn")],
               str(seen))
        rows.first()
        read = rows.getString(4)
        record("long value read", read == LONG, "%d characters" % len(read))
        rows.updateString(3, "Düsseldorf")
        rows.updateRow()
        record("edit a cell", True)
        rows.moveToInsertRow()
        rows.updateInt(1, 3)
        rows.updateString(2, "Größ")
        rows.updateString(3, "Gießen")
        rows.updateString(4, "ä" * 70000)
        rows.insertRow()
        record("add a row", True)
        rows.absolute(2)
        rows.deleteRow()
        record("delete a row", True)

        st = con.prepareStatement("select nachname from " + tables[0] + " where ort = ?")
        st.setString(1, "Gießen")
        rs = st.executeQuery()
        found = [rs.getString(1) for _ in iter(rs.next, False)]
        record("prepared statement with a parameter", found == ["Größ"], str(found))
    except Exception as e:  # a UNO SQLException carries its SQLSTATE
        record("LibreOffice", False, "%s %s" % (getattr(e, "SQLState", ""),
                                                getattr(e, "Message", str(e))))
    finally:
        if con is not None:
            con.close()

    c = pyodbc.connect(cs, autocommit=True)
    stored = [tuple(r) for r in c.cursor().execute(
        "select pid, nachname, ort from patienten order by pid").fetchall()]
    note = c.cursor().execute("select notiz from patienten where pid = 3").fetchone()
    c.close()
    record("umlauts written, as another client reads them",
           stored == [(1, "Müller", "Düsseldorf"), (3, "Größ", "Gießen")], str(stored))
    record("long value written", note is not None and note[0] == "ä" * 70000)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--headless", action="store_true",
                        help="start LibreOffice without its window system")
    parser.add_argument("--charset", help="a CHARSET key for the data sources (a headless "
                        "LibreOffice, which never sets its locale, needs UTF8)")
    parser.add_argument("--keep", action="store_true", help="keep the work folder")
    args = parser.parse_args()
    if not os.environ.get("ODBCSYSINI"):
        sys.exit("ODBCSYSINI must name the folder of the drivers' odbcinst.ini (build/odbc)")
    work = tempfile.mkdtemp(prefix="tamaro-libreoffice-")
    os.environ["FIREBIRD_LOCK"] = work
    odbc_ini = os.path.join(work, "odbc.ini")
    os.environ["ODBCINI"] = odbc_ini
    strings = {}
    with open(odbc_ini, "w") as f:
        for kind, keys in kinds(work).items():
            if args.charset:
                keys["CHARSET"] = args.charset
            f.write("[tamaro_%s]\n" % kind + "".join("%s=%s\n" % kv for kv in keys.items()))
    for kind, keys in kinds(work).items():
        strings[kind] = make_database(keys, "memo" if kind == "mdb" else "blob sub_type text")
    results = []
    office = Office(work, args.headless)
    try:
        for kind in ("mdb", "fdb"):
            check_kind(office, kind, strings[kind], results)
    finally:
        office.close()
        if not args.keep:
            shutil.rmtree(work, ignore_errors=True)
    failed = [r for r in results if not r[2]]
    print("%d checks, %d failed" % (len(results), len(failed)))
    sys.exit(1 if failed else 0)


if __name__ == "__main__":
    main()
