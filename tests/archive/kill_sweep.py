#!/usr/bin/python3
"""Kill sweep: the real program (build/tamaro/tamaro --headless) is killed
with SIGKILL at random moments of archive and restore runs, started again,
and the practice checked after every kill:

  - every patient of the run has all of his rows in exactly one place, the
    Velunda databases or the archive, never both, never neither;
  - every database holds either what it held before the run or what the run
    was to leave (the keys the databases number are left out of the
    comparison, and must be non-null and unique);
  - no backup, journal, lock or put-back copy is left.

Every third kill falls inside the commit sequence instead: the program
kills itself after the n-th database has committed (TAMARO_RUN_KILL_AT=
commit:n, n chosen at random), so that the next start must finish the run
forward.

Between every kill and the start after it, another client of the practice
saves work: an appointment and a new name for a patient outside the run.
After half of the kills inside the commit sequence it also changes a
patient of the run in a source database that has not committed yet: edits
his name, adds an appointment, or swaps one of his appointments for
another. Then the start must change nothing, name the patient and refuse
runs; the client undoes its change, and the next start finishes the run.
The invariant, after every start: nothing the client saved is lost or
doubled, and every patient of the run is on one side, or runs are refused
while the practice really differs from the run's journal.

Usage: kill_sweep.py [--kinds fdb,mdb] [--patients 200] [--kills 20]
                     [--seed 1] [--build DIR]
The run moves patients without open business (the program refuses to archive
the others); the practice is half as large again plus 20, so that there are
enough of them. Runs alternate between
archiving and restoring. Exit status 0 when the invariant held after every
kill. Needs pyodbc for Debian's python3 and the project's built drivers."""
import argparse
import os
import random
import shutil
import signal
import subprocess
import sys
import tempfile
import time

import pyodbc

HERE = os.path.dirname(os.path.abspath(__file__))

# The databases of the set and their patient tables.
VELUNDA = [
    ("data", "patienten,abrechnungen,diagnosen,scheine,termine,kontingente,felder,havg_pat,"
             "havg_patextra,pat_kontakt,itemhist,recall,terminnotiz,dmp_form,dmp_pat,pat_unfall"),
    ("ifap", "docmed"), ("form", "ausdrucke"), ("ldt", "ldtbericht,ldtnummer"),
    ("med", "medhistory"), ("rechnung", "rechnungen"), ("kassenbuch", "kassenbuch"),
    ("kartei", "data"),
]
ARCHIVE_TABLES = ",".join(t for _, t in VELUNDA)
# Keys the transfer leaves to the database: renumbered by every move.
KEYS = {"abrechnungen": "zid", "diagnosen": "did", "ldtnummer": "autoid"}


def connect(kind, path):
    if kind == "fdb":
        cs = ("DRIVER=Firebird/InterBase(r) driver;DBNAME=%s;UID=SYSDBA;PWD=tilvormex" % path)
    else:
        cs = "Driver={Microsoft Access Driver (*.mdb)};Dbq=%s;Pwd=lamp(hurz);" % path
    c = pyodbc.connect(cs, autocommit=True)
    c.setencoding(encoding="cp1252")
    c.setdecoding(pyodbc.SQL_CHAR, encoding="cp1252")
    c.setdecoding(pyodbc.SQL_WCHAR, encoding="cp1252")
    return c


def table_state(cur, table, problems, where):
    """The rows of a table without its renumbered key, as a sorted tuple; the
    key is checked to be non-null and unique."""
    cur.execute("select * from %s" % table)
    names = [d[0].lower() for d in cur.description]
    texts = [d[1] is str for d in cur.description]
    key = KEYS.get(table)
    rows, keys = [], []
    for r in cur.fetchall():
        row = []
        for name, text, v in zip(names, texts, r):
            if name == key:
                keys.append(v)
                continue
            # A null text comes back as '' after a move (the blanking
            # update); a fixed-width text keeps its blanks on one kind only.
            if text:
                v = (v or "").rstrip(" ")
            row.append(v)
        rows.append(tuple(row))
    if key and (None in keys or len(set(keys)) != len(keys)):
        problems.append("%s: %s.%s has null or repeated keys" % (where, table, key))
    return tuple(sorted(rows, key=repr))


def database_state(kind, folder, name, tables, problems):
    c = connect(kind, os.path.join(folder, name + "." + kind))
    try:
        cur = c.cursor()
        state = {t: table_state(cur, t, problems, name) for t in tables.split(",")}
        if name == "archiv":
            cur.execute("select pidlist from archist")
            state["archist"] = tuple(sorted(r[0] for r in cur.fetchall()))
        return state
    finally:
        c.close()


def practice_state(kind, folder, problems):
    state = {name: database_state(kind, folder, name, tables, problems)
             for name, tables in VELUNDA}
    state["archiv"] = database_state(kind, folder, "archiv", ARCHIVE_TABLES, problems)
    return state


class Sweep:
    def __init__(self, args, kind):
        self.args = args
        self.kind = kind
        self.build = os.path.abspath(args.build)
        self.root = tempfile.mkdtemp(prefix="tamaro-killsweep-%s-" % kind)
        self.practice = os.path.join(self.root, "practice")
        # The program starts from a folder of links to the built one, so that
        # its Tamaro.cfg stays here and not in the build's program folder.
        self.program = os.path.join(self.root, "program")
        os.makedirs(self.program)
        for name in ("tamaro", "tpl", "Dokumentation"):
            os.symlink(os.path.join(self.build, "tamaro", name), os.path.join(self.program, name))
        self.database = os.path.join(self.practice, "Database")
        self.env = dict(os.environ)
        self.env["ODBCSYSINI"] = os.path.join(self.build, "odbc")
        self.env["XDG_CONFIG_HOME"] = os.path.join(self.root, "config")
        self.env["FIREBIRD_LOCK"] = os.path.join(self.root, "fblock")
        for var in ("TAMARO_RUN_KILL_AT", "TAMARO_RUN_STOP_AT", "TAMARO_ODBC_FAIL_AFTER"):
            self.env.pop(var, None)
        os.environ.update({k: self.env[k] for k in ("ODBCSYSINI", "FIREBIRD_LOCK")})
        os.makedirs(self.env["FIREBIRD_LOCK"])
        os.makedirs(os.path.join(self.env["XDG_CONFIG_HOME"], "Kvarn"))
        with open(os.path.join(self.env["XDG_CONFIG_HOME"], "Kvarn", "Velunda.conf"), "w") as f:
            f.write("path=%s\n" % self.practice)
        with open(os.path.join(self.root, "password"), "w") as f:
            f.write("geheim\n")
        self.figures = {"kills": 0, "in run": 0, "in commit": 0, "before": 0, "after": 0,
                        "held": 0, "client changes": 0, "run patient changes": 0,
                        "refused": 0}

    def tamaro(self, *args, env=None):
        # Commands need a login; a start without commands logs in all the same.
        login = ["--user", "mueller", "--password-file", os.path.join(self.root, "password")]
        return subprocess.Popen([os.path.join(self.build, "tamaro", "tamaro"), "--headless"] +
                                login + list(args), cwd=self.program,
                                env=dict(self.env, **(env or {})), stdout=subprocess.PIPE,
                                stderr=subprocess.STDOUT)

    def run(self, *args, red_allowed=False):
        """Runs the program to its end. A start that reports a recovery has
        red lines, which the headless mode answers with status 1."""
        p = self.tamaro(*args)
        out = p.communicate()[0].decode("utf-8", "replace")
        if p.returncode != 0 and not (red_allowed and p.returncode == 1):
            raise RuntimeError("tamaro %s failed:\n%s" % (" ".join(args), out))
        return out

    def timed(self, *args):
        """Runs the program; the seconds from the run's first line to its end."""
        p = self.tamaro(*args)
        began = None
        for raw in p.stdout:
            if began is None and raw.startswith(b"Datentransfer"):
                began = time.time()
        p.wait()
        if p.returncode != 0 or began is None:
            raise RuntimeError("tamaro %s failed" % " ".join(args))
        return time.time() - began

    def keep(self, name):
        shutil.copytree(self.database, os.path.join(self.root, name))

    def put(self, name):
        shutil.rmtree(self.database)
        shutil.copytree(os.path.join(self.root, name), self.database)

    def archivable(self, total):
        """The patients the program would archive: asked to archive all of
        them, it refuses and names those with open business."""
        out = self.run("--archive", ",".join(str(p) for p in range(1, total + 1)),
                       red_allowed=True)
        hidden = set()
        for line in out.splitlines():
            if line.startswith("\u2022 mit offenen"):
                hidden = {int(p) for p in line.rsplit(":", 1)[1].split(",")}
        return [p for p in range(1, total + 1) if p not in hidden]

    def prepare(self):
        total = self.total = self.args.patients * 3 // 2 + 20
        subprocess.run([os.path.join(self.build, "tamaro-mkpractice"), self.practice, "--kind",
                        self.kind, "--patients", str(total), "--seed", str(self.args.seed),
                        "--network"], env=self.env, check=True, stdout=subprocess.DEVNULL)
        rnd = random.Random(self.args.seed)
        # The first start makes the archive from its template.
        self.pids = rnd.sample(self.archivable(total), self.args.patients)
        self.pidlist = ",".join(str(p) for p in self.pids)
        self.keep("before")
        problems = []
        self.before = practice_state(self.kind, self.database, problems)
        self.durations = {"archive": self.timed("--archive", self.pidlist)}
        self.after = practice_state(self.kind, self.database, problems)
        self.keep("after")
        self.durations["restore"] = self.timed("--restore", self.pidlist)
        # A restore gives the practice back as it was, but for the history,
        # which keeps the archiving run.
        self.restored = practice_state(self.kind, self.database, problems)
        self.keep("restored")
        expected = dict(self.before)
        expected["archiv"] = dict(self.before["archiv"], archist=self.after["archiv"]["archist"])
        if self.restored != expected:
            problems.append("an uninterrupted archive and restore do not give the practice back")
        if problems:
            raise RuntimeError("; ".join(problems))
        print("%s: %d patients of %d, archive run %.1fs, restore run %.1fs" %
              (self.kind, self.args.patients, total, self.durations["archive"],
               self.durations["restore"]), flush=True)

    def client(self, folder, ops):
        """Another client's statements, each (database, sql, parameters),
        committed one by one."""
        for name, sql, params in ops:
            c = connect(self.kind, os.path.join(folder, name + "." + self.kind))
            try:
                c.cursor().execute(sql, params)
            finally:
                c.close()

    def expected(self, name, ops):
        """A reference state with the client's work applied to it."""
        folder = os.path.join(self.root, "expected")
        shutil.rmtree(folder, ignore_errors=True)
        shutil.copytree(os.path.join(self.root, name), folder)
        self.client(folder, ops)
        state = practice_state(self.kind, folder, [])
        shutil.rmtree(folder)
        return state

    def run_patient_change(self, n, source, rnd):
        """A change to a patient of the run in the uncommitted source database
        source, and its undoing: (what, pid, change ops, undo ops)."""
        c = connect(self.kind, os.path.join(self.database, source + "." + self.kind))
        try:
            cur = c.cursor()
            cur.execute("select pid, count(*) from termine where pid in (%s) group by pid" %
                        self.pidlist)
            with_rows = sorted(r[0] for r in cur.fetchall())
            pid = with_rows[0] if with_rows else self.pids[0]
            what = rnd.choice(["edited", "added", "swapped"] if with_rows else
                              ["edited", "added"])
            if what == "edited":
                cur.execute("select nachname from patienten where pid = ?", pid)
                old = cur.fetchone()[0]
                return what, pid, [(source, "update patienten set nachname = ? where pid = ?",
                                    ("Sweep%d" % n, pid))], \
                    [(source, "update patienten set nachname = ? where pid = ?", (old, pid))]
            tid = 800000 + n
            if what == "added":
                return what, pid, [(source, "insert into termine (tid, pid) values (?, ?)",
                                    (tid, pid))], \
                    [(source, "delete from termine where tid = ?", (tid,))]
            cur.execute("select * from termine where pid = ? order by tid", pid)
            names = [d[0] for d in cur.description]
            row = cur.fetchone()
            keep = (source, "insert into termine (%s) values (%s)" %
                    (", ".join('"%s"' % x.lower() if x.lower() == "text" else x for x in names),
                     ", ".join("?" for _ in names)), tuple(row))
            return what, pid, [(source, "delete from termine where tid = ?", (row[0],)),
                               (source, "insert into termine (tid, pid) values (?, ?)",
                                (tid, pid))], \
                [(source, "delete from termine where tid = ?", (tid,)), keep]
        finally:
            c.close()

    def leftovers(self):
        return sorted(n for n in os.listdir(self.database)
                      if n.endswith((".bak", ".restore", ".new")) or
                      n in ("Tamaro.journal", "Tamaro.lock"))

    def check(self, direction, problems, first=None, last=None):
        """The invariant after the start that followed a kill: every
        database in one of the two states (before or after the run, with the
        client's work in both)."""
        if first is None:
            first, last = (self.before, self.after) if direction == "archive" else \
                (self.after, self.restored)
        for name in self.leftovers():
            problems.append("left behind: " + name)
        state = practice_state(self.kind, self.database, problems)
        # One run state for the whole practice: a patient whose rows were in
        # both places or in neither would show as a mix. A database the run
        # does not change (none of its rows belongs to the patients) is in
        # both states at once.
        states = {"before", "after"}
        for name, db in state.items():
            fits = {s for s, want in (("before", first), ("after", last)) if db == want[name]}
            if not fits:
                problems.append("%s is in neither state" % name)
            states &= fits
        if not states and not problems:
            problems.append("some databases before, others after the run")
        return states.pop() if len(states) == 1 else None

    def stage(self):
        """The stage the journal names, or None without a journal."""
        try:
            with open(os.path.join(self.database, "Tamaro.journal")) as f:
                for line in f:
                    if line.startswith("stage="):
                        return line.strip()[6:]
        except OSError:
            return None
        return "?"

    def kill_once(self, n, rnd):
        direction = "archive" if n % 2 == 0 else "restore"
        self.put("before" if direction == "archive" else "after")
        point = None
        # After the first kill inside the commit sequence, and half of the
        # others, the client changes a patient of the run where the run has
        # not committed yet: in the archive direction the main database
        # (the run killed after the archive's commit), in the restore
        # direction the archive (killed before its commit).
        planned = n % 3 == 2 and (n == 2 or rnd.random() < 0.5)
        if n % 3 == 2:
            # Inside the commit sequence: nine databases commit in a run.
            point = "commit:%d" % (rnd.randint(1, 9) if not planned else
                                   1 if direction == "archive" else rnd.randint(1, 8))
            p = self.tamaro("--" + direction, self.pidlist,
                            env={"TAMARO_RUN_KILL_AT": point})
            p.communicate()
            stage, when = self.stage(), point
        else:
            p = self.tamaro("--" + direction, self.pidlist)
            # Wait for the run to begin, then kill it somewhere inside it.
            while True:
                line = p.stdout.readline().decode("utf-8", "replace")
                if not line or line.startswith("Datentransfer"):
                    break
            delay = rnd.uniform(0, self.durations[direction] * 1.05)
            time.sleep(delay)
            stage = self.stage()
            p.send_signal(signal.SIGKILL)
            p.communicate()
            stage = self.stage() or stage
            when = "after %6.2fs" % delay
        self.figures["kills"] += 1
        if stage:
            self.figures["in run"] += 1
        if stage == "committing":
            self.figures["in commit"] += 1
        problems = []
        # Another client saves work for patients outside the run.
        outside = [p for p in range(1, self.total + 1) if p not in set(self.pids)]
        other = outside[n % len(outside)]
        ops = [("data", "insert into termine (tid, pid) values (?, ?)", (900000 + n, other)),
               ("data", "update patienten set nachname = ? where pid = ?",
                ("Client%d" % n, other))]
        self.client(self.database, ops)
        self.figures["client changes"] += len(ops)
        first_name, last_name = ("before", "after") if direction == "archive" else \
            ("after", "restored")
        first, last = self.expected(first_name, ops), self.expected(last_name, ops)
        changed = ""
        if planned and stage == "committing":
            # A patient of the run changed in a source database that has not
            # committed: the start must refuse.
            committed = int(point.split(":")[1])
            source = "data" if direction == "archive" and committed == 1 else \
                "archiv" if direction == "restore" and committed < 9 else None
            if source:
                what, pid, change, undo = self.run_patient_change(n, source, rnd)
                self.client(self.database, change)
                self.figures["run patient changes"] += 1
                changed = " %s patient %d" % (what, pid)
                held = practice_state(self.kind, self.database, problems)
                out = self.run(red_allowed=True)
                if self.stage() != "undecided":
                    problems.append("the start did not refuse (journal %s)" % self.stage())
                if "Patient %d" % pid not in out or \
                        "nicht mehr den Stand des Vorgangs" not in out:
                    problems.append("the refusal does not name patient %d" % pid)
                if practice_state(self.kind, self.database, problems) != held:
                    problems.append("the refusing start changed the databases")
                if not problems:
                    self.figures["refused"] += 1
                self.client(self.database, undo)
        out = self.run(red_allowed=True)
        state = self.check(direction, problems, first, last)
        if problems:
            # What the start said, for the report.
            said = [l for l in out.splitlines() if l.startswith("\u2022")]
            problems.append("the start said: " + " / ".join(said[:12]))
        if state:
            self.figures[state] += 1
        if not problems:
            self.figures["held"] += 1
        print("%s kill %3d: %-7s %s, %s%s, start found %s -> %s%s" %
              (self.kind, n + 1, direction, when, "journal " + stage if stage else "no journal",
               changed,
               "a journal" if "Unterbrochener Vorgang gefunden" in out else "nothing",
               state or "?", "" if not problems else "  FAILED: " + "; ".join(problems)),
              flush=True)
        return not problems

    def sweep(self):
        self.prepare()
        rnd = random.Random(self.args.seed * 7919 + len(self.kind))
        ok = all([self.kill_once(n, rnd) for n in range(self.args.kills)])
        f = self.figures
        print("%s: %d kills, %d inside a run (journal present), %d inside the commit sequence, "
              "%d left the state before, %d the state after; %d changes by another client, "
              "%d of them to patients of the run, %d refused as they should; invariant held "
              "%d of %d times" %
              (self.kind, f["kills"], f["in run"], f["in commit"], f["before"], f["after"],
               f["client changes"] + f["run patient changes"], f["run patient changes"],
               f["refused"], f["held"], f["kills"]),
              flush=True)
        if ok:
            shutil.rmtree(self.root, ignore_errors=True)
        else:
            print("%s: practice kept in %s" % (self.kind, self.root))
        return ok


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--kinds", default="fdb,mdb")
    parser.add_argument("--patients", type=int, default=200)
    parser.add_argument("--kills", type=int, default=20)
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--build", default=os.path.join(HERE, "..", "..", "build"))
    args = parser.parse_args()
    ok = True
    for kind in args.kinds.split(","):
        ok = Sweep(args, kind).sweep() and ok
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
