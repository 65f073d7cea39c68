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
After half of the kills inside the commit sequence it also changes the
run's patients where the run has not committed (edits a name, adds an
appointment, swaps one appointment for another, or deletes all of a
patient's rows in a database the sequence never reached), sometimes on both
sides at once. The start then settles the run in the direction that loses
nothing: back (the copies removed from the committed targets) while no
source has given up its rows, and otherwise, or when both sides changed,
it changes nothing, names the patient and refuses runs; the client undoes
(part of) its change, and the next start settles the run.
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
                        "refused": 0, "forward": 0, "backward": 0, "undecided": 0}

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
        """A change to a patient of the run in the database source (data or
        the archive, which hold patienten and termine), and its undoing:
        (what, pid, change ops, undo ops)."""
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
            row = cur.fetchone()
            return what, pid, [(source, "delete from termine where tid = ?", (row[0],)),
                               (source, "insert into termine (tid, pid) values (?, ?)",
                                (tid, pid))], \
                [(source, "delete from termine where tid = ?", (tid,)),
                 self.reinsert(source, "termine", cur.description, row)]
        finally:
            c.close()

    def reinsert(self, name, table, description, row):
        names = [d[0].lower() for d in description]
        return (name, "insert into %s (%s) values (%s)" %
                (table, ", ".join('"%s"' % x if x in ("text", "update") else x for x in names),
                 ", ".join("?" for _ in names)), tuple(row))

    def run_patient_deleted(self, names, rnd):
        """Rows of one patient of the run deleted where the sequence has not
        reached: all of his rows in one of the Velunda databases names (but
        the main one, which holds his record), or all of his rows in one
        table of the archive; and the rows put back. (what, pid, change ops,
        undo ops), or None when none of them holds rows of the patients."""
        for name in rnd.sample(names, len(names)):
            if name == "data":
                continue
            tables = [t for t in (ARCHIVE_TABLES if name == "archiv" else
                                  dict(VELUNDA)[name]).split(",") if t != "patienten"]
            rnd.shuffle(tables)
            c = connect(self.kind, os.path.join(self.database, name + "." + self.kind))
            try:
                cur = c.cursor()
                for pid in rnd.sample(self.pids, min(len(self.pids), 20)):
                    change, undo = [], []
                    for table in tables:
                        cur.execute("select * from %s where pid = ?" % table, pid)
                        rows = cur.fetchall()
                        if not rows:
                            continue
                        change.append((name, "delete from %s where pid = ?" % table, (pid,)))
                        undo += [self.reinsert(name, table, cur.description, r) for r in rows]
                        if name == "archiv":
                            break
                    if change:
                        return "deleted in %s" % name, pid, change, undo
            finally:
                c.close()
        return None

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

    # The databases in the order of the commit sequence.
    ORDER = {"archive": ["archiv"] + [name for name, _ in VELUNDA],
             "restore": [name for name, _ in VELUNDA] + ["archiv"]}

    def settled(self, out):
        """How a start settled the run: forward, backward, undecided or None."""
        if self.stage() == "undecided":
            return "undecided"
        if "Er wurde zurückgenommen" in out:
            return "backward"
        if "wurde zu Ende geführt" in out:
            return "forward"
        return None

    def kill_once(self, n, rnd):
        direction = "archive" if n % 2 == 0 else "restore"
        self.put("before" if direction == "archive" else "after")
        point = None
        # After the first kill inside the commit sequence, and half of the
        # others, the client changes the run's patients where the run has not
        # committed: a source database the sequence has not reached (in the
        # archive direction Velunda's, in the restore direction the
        # archive), sometimes a committed target too.
        order = self.ORDER[direction]
        scenario = None
        if n % 3 == 2 and (n == 2 or rnd.random() < 0.5):
            scenario = "deleted" if n == 2 else rnd.choice(["changed", "deleted", "both"])
        if n % 3 == 2:
            # Inside the commit sequence: nine databases commit in a run. The
            # archive direction's sources all wait while only the archive has
            # committed (so that the first kill's start goes back).
            if n == 2 or scenario in ("changed", "both") and direction == "archive":
                committed = 1
            elif scenario:
                committed = rnd.randint(1, 8)
            else:
                committed = rnd.randint(1, 9)
            point = "commit:%d" % committed
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
        changed, expect = "", None
        out = None
        if scenario and stage == "committing":
            committed = int(point.split(":")[1])
            unreached = order[committed:]
            sources = [x for x in unreached if (x == "archiv") == (direction == "restore")]
            # A source that has given up its rows rules out going back.
            source_gone = direction == "archive" and committed > 1
            found = self.run_patient_deleted(sources, rnd) if scenario == "deleted" else \
                self.run_patient_change(n, "data" if direction == "archive" else "archiv", rnd)
            if found:
                what, pid, change, undo = found
                target_undo = []
                if scenario == "both":
                    # The copy on a committed target is edited as well.
                    target = "archiv" if direction == "archive" else "data"
                    edit, target_undo = self.copy_edit(target, pid, n)
                    change = change + edit
                    what += " and its copy"
                self.client(self.database, change)
                self.figures["run patient changes"] += 1
                changed = " %s patient %d" % (what, pid)
                held = practice_state(self.kind, self.database, problems)
                out = self.run(red_allowed=True)
                # The patient is named where the other side holds his rows to
                # compare with; otherwise the table is named with its figures.
                tables = [op[1].split()[2] for op in change if op[1].startswith("delete from ")]
                if "Patient %d" % pid not in out and \
                        not any(".%s: " % t in out for t in tables):
                    problems.append("the start names neither patient %d nor the table" % pid)
                if scenario == "both" or source_gone:
                    # Neither direction loses nothing: the start refuses.
                    if self.settled(out) != "undecided":
                        problems.append("the start did not refuse (journal %s)" % self.stage())
                    elif "nicht mehr den Stand des Vorgangs" not in out:
                        problems.append("the refusal does not say why")
                    if practice_state(self.kind, self.database, problems) != held:
                        problems.append("the refusing start changed the databases")
                    if not problems:
                        self.figures["refused"] += 1
                    self.figures["undecided"] += 1
                    changed += ", refused"
                    if scenario == "both":
                        # The copy's edit undone, the start can go back.
                        self.client(self.database, target_undo)
                        change = [op for op in change if op[0] != target]
                        first = self.expected(first_name, ops + change)
                        expect = "backward"
                    else:
                        # The source's change undone, the start can go forward.
                        self.client(self.database, undo)
                        expect = "forward"
                    out = None
                else:
                    # Taken back: before the run, with the client's change.
                    first = self.expected(first_name, ops + change)
                    expect = "backward"
        if out is None:
            out = self.run(red_allowed=True)
        state = self.check(direction, problems, first, last)
        settled = self.settled(out)
        if settled in ("forward", "backward"):
            self.figures[settled] += 1
        if expect and settled != expect:
            problems.append("settled %s, not %s" % (settled, expect))
        if settled == "backward" and state != "before":
            problems.append("taken back, but the practice is not as before the run")
        if problems:
            # What the start said, for the report.
            said = [l for l in out.splitlines() if l.startswith("\u2022")]
            problems.append("the start said: " + " / ".join(said[:12]))
        if state:
            self.figures[state] += 1
        if not problems:
            self.figures["held"] += 1
        print("%s kill %3d: %-7s %s, %s%s, start found %s -> %s%s%s" %
              (self.kind, n + 1, direction, when, "journal " + stage if stage else "no journal",
               changed,
               "a journal" if "Unterbrochener Vorgang gefunden" in out else "nothing",
               state or "?", " (%s)" % settled if settled else "",
               "" if not problems else "  FAILED: " + "; ".join(problems)),
              flush=True)
        return not problems

    def copy_edit(self, name, pid, n):
        """An edit of a patient's copy in the database name, and its undoing."""
        c = connect(self.kind, os.path.join(self.database, name + "." + self.kind))
        try:
            cur = c.cursor()
            cur.execute("select nachname from patienten where pid = ?", pid)
            old = cur.fetchone()[0]
        finally:
            c.close()
        return [(name, "update patienten set nachname = ? where pid = ?", ("Kopie%d" % n, pid))], \
            [(name, "update patienten set nachname = ? where pid = ?", (old, pid))]

    def sweep(self):
        self.prepare()
        rnd = random.Random(self.args.seed * 7919 + len(self.kind))
        ok = all([self.kill_once(n, rnd) for n in range(self.args.kills)])
        f = self.figures
        print("%s: %d kills, %d inside a run (journal present), %d inside the commit sequence "
              "(settled %d forward, %d backward, %d undecided first); %d left the state "
              "before, %d the state after; %d changes by another client, %d of them to "
              "patients of the run, %d refused as they should; invariant held %d of %d times" %
              (self.kind, f["kills"], f["in run"], f["in commit"], f["forward"], f["backward"],
               f["undecided"], f["before"], f["after"],
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
