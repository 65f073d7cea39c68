#!/usr/bin/python3
"""The examples of the administrator's guide (ui/Dokumentation/administration.html),
taken from the page as they stand there and tried on this machine:

- the systemd service and timer, and the script they start, with
  `systemd-analyze verify` in a scratch root;
- the unattended script on a practice made by tamaro-mkpractice, with the
  built program: the first run archives, the second finds nothing left;
- Network.cfg naming the Firebird test server (scripts/fbserver.sh): a
  headless start through it, then the gbak backup of every database and the
  trial restore.

The example names (praxisserver, /srv/velunda, /mnt/velunda, ...) are
replaced by the local ones. A part that cannot run here says why; the test
is skipped (77) when none could."""

import argparse
import html.parser
import os
import re
import shutil
import subprocess
import sys
import tempfile


class Blocks(html.parser.HTMLParser):
    """The text of every <pre id="..."> of the page."""

    def __init__(self):
        super().__init__(convert_charrefs=True)
        self.blocks = {}
        self.current = None

    def handle_starttag(self, tag, attrs):
        if tag == "pre":
            self.current = dict(attrs).get("id")
            if self.current:
                self.blocks[self.current] = ""

    def handle_endtag(self, tag):
        if tag == "pre":
            self.current = None

    def handle_data(self, data):
        if self.current:
            self.blocks[self.current] += data


class Guide:
    def __init__(self, args):
        self.build = os.path.abspath(args.build)
        page = os.path.join(args.source, "ui", "Dokumentation", "administration.html")
        parser = Blocks()
        with open(page, encoding="utf-8") as f:
            parser.feed(f.read())
        self.blocks = parser.blocks
        # Readable by the Firebird server, which may run as another user.
        self.root = tempfile.mkdtemp(prefix="tamaro-guide-")
        os.chmod(self.root, 0o755)
        self.failures = []
        self.ran = 0
        self.env = dict(os.environ)
        self.env["ODBCSYSINI"] = os.path.join(self.build, "odbc")
        self.env["XDG_CONFIG_HOME"] = self.path("config")
        self.env["TAMARO_LOCK_DIR"] = self.path("locks")
        for var in ("DISPLAY", "WAYLAND_DISPLAY", "TAMARO_RUN_KILL_AT", "TAMARO_RUN_STOP_AT",
                    "TAMARO_ODBC_FAIL_AFTER"):
            self.env.pop(var, None)
        os.makedirs(self.path("config", "Kvarn"))
        os.makedirs(self.path("locks"))
        # The program starts from a folder of links to the built one.
        os.makedirs(self.path("program"))
        for name in ("tamaro", "tpl", "Dokumentation"):
            os.symlink(os.path.join(self.build, "tamaro", name), self.path("program", name))

    def path(self, *parts):
        return os.path.join(self.root, *parts)

    def check(self, ok, what):
        if not ok:
            self.failures.append(what)
            print("FAILED: " + what)

    def block(self, name):
        if name not in self.blocks:
            self.check(False, "the guide has no example \"%s\"" % name)
            return ""
        return self.blocks[name]

    def register(self, installation):
        with open(self.path("config", "Kvarn", "Velunda.conf"), "w") as f:
            f.write("path=%s\n" % installation)

    def practice(self, name, kind, patients, extra=()):
        folder = self.path(name)
        subprocess.run([os.path.join(self.build, "tamaro-mkpractice"), folder, "--kind", kind,
                        "--patients", str(patients), "--seed", "1"] + list(extra),
                       env=self.env, check=True, stdout=subprocess.DEVNULL)
        return folder

    def units(self):
        if not shutil.which("systemd-analyze") or not os.path.isdir("/usr/lib/systemd/system"):
            print("SKIP units: systemd-analyze missing (package systemd)")
            return
        self.ran += 1
        root = self.path("root")
        os.makedirs(os.path.join(root, "usr", "lib", "systemd"))
        shutil.copytree("/usr/lib/systemd/system", os.path.join(root, "usr", "lib", "systemd",
                                                                 "system"), symlinks=True)
        units = os.path.join(root, "etc", "systemd", "system")
        os.makedirs(units)
        files = {"dienst": os.path.join(units, "tamaro-archivieren.service"),
                 "zeitgeber": os.path.join(units, "tamaro-archivieren.timer"),
                 "skript": os.path.join(root, "usr", "local", "bin", "tamaro-archivieren")}
        for name, target in files.items():
            os.makedirs(os.path.dirname(target), exist_ok=True)
            with open(target, "w") as f:
                f.write(self.block(name))
        os.chmod(files["skript"], 0o755)
        # The service starts the script from the program folder.
        os.makedirs(os.path.join(root, "usr", "lib", "tamaro"))
        run = subprocess.run(["systemd-analyze", "verify", "--root=" + root,
                              "/etc/systemd/system/tamaro-archivieren.service",
                              "/etc/systemd/system/tamaro-archivieren.timer"],
                             stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
        self.check(run.returncode == 0 and run.stdout.strip() == "",
                   "systemd-analyze verify: status %d\n%s" % (run.returncode, run.stdout))

    def script(self):
        if not shutil.which("sh") or not shutil.which("awk") or not shutil.which("paste"):
            print("SKIP script: sh, awk or paste missing")
            return
        self.ran += 1
        practice = self.practice("praxis", "mdb", 60, ["--network"])
        self.register(practice)
        script = self.path("tamaro-archivieren")
        with open(script, "w") as f:
            f.write(self.block("skript"))
        os.chmod(script, 0o755)
        with open(self.path("passwort"), "w") as f:
            f.write("geheim\n")
        os.chmod(self.path("passwort"), 0o400)
        os.makedirs(self.path("protokolle"))
        doctors = re.search(r'Environment="AERZTE=([^"]*)"', self.block("dienst"))
        self.check(doctors is not None, "the service names no AERZTE")
        env = dict(self.env, TAMARO=self.path("program", "tamaro"), BENUTZER="mueller",
                   PASSWORTDATEI=self.path("passwort"), PROTOKOLLE=self.path("protokolle"),
                   AERZTE=doctors.group(1) if doctors else "2")
        first = subprocess.run([script], cwd=self.path("program"), env=env,
                               stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
        self.check(first.returncode == 0 and "Datentransfer Velunda -> Archiv..." in first.stdout,
                   "the script's first run (status %d):\n%s" % (first.returncode, first.stdout))
        self.check(any(n.endswith(".rtf") for n in os.listdir(self.path("protokolle"))),
                   "the script saved no log")
        second = subprocess.run([script], cwd=self.path("program"), env=env,
                                stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
        self.check(second.returncode == 0 and
                   second.stdout.strip().endswith("Keine Patienten zu archivieren."),
                   "the script's second run (status %d):\n%s" % (second.returncode, second.stdout))

    def server(self):
        try:
            with open("/tmp/tamaro-fbserver/port") as f:
                port = f.read().strip()
        except OSError:
            print("SKIP server: no Firebird test server (scripts/fbserver.sh start)")
            return
        if not shutil.which("gbak"):
            print("SKIP server: gbak missing (package firebird3.0-utils)")
            return
        self.ran += 1
        server = "127.0.0.1/%s" % port
        os.makedirs(self.path("server"))
        os.chmod(self.path("server"), 0o777)
        practice = self.practice(os.path.join("server", "velunda"), "fdb", 5,
                                 ["--fbconnect", "%s:%s" % (server, self.path("server", "velunda"))])
        for folder, _, names in os.walk(practice):
            os.chmod(folder, 0o777)
            for name in names:
                os.chmod(os.path.join(folder, name), 0o666)
        network = self.block("network-cfg")
        network = network.replace("praxisserver:/srv/velunda", "%s:%s" % (server, practice))
        network = network.replace("/mnt/velunda", practice)
        with open(os.path.join(practice, "Network.cfg"), "w") as f:
            f.write(network)
        self.register(practice)
        start = subprocess.run([self.path("program", "tamaro"), "--headless"],
                               cwd=self.path("program"), env=self.env, stdout=subprocess.PIPE,
                               stderr=subprocess.STDOUT, text=True)
        self.check(start.returncode == 0 and "Gesamt: 5 Patienten" in start.stdout,
                   "a start through the server (status %d):\n%s" % (start.returncode, start.stdout))

        probe = self.path("server", "probe")
        os.makedirs(probe)
        os.chmod(probe, 0o777)
        backup = self.block("gbak-sicherung") + "\n" + self.block("gbak-probe")
        backup = backup.replace("praxisserver:/srv/velunda", "%s:%s" % (server, practice))
        backup = backup.replace("praxisserver:/srv/probe", "%s:%s" % (server, probe))
        backup = backup.replace("/srv/velunda", practice)
        backup = backup.replace("/sicherung", self.path("sicherung"))
        run = subprocess.run(["bash", "-e", "-c", backup], env=dict(self.env, FB_KENNWORT="tilvormex"),
                             stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
        self.check(run.returncode == 0, "the backup (status %d):\n%s" % (run.returncode, run.stdout))
        saved = [os.path.join(d, n) for d, _, names in os.walk(self.path("sicherung"))
                 for n in names if n.endswith(".fbk")]
        self.check(len(saved) == 9, "the backup wrote %d databases, not 9" % len(saved))
        self.check(os.path.exists(os.path.join(probe, "archiv.fdb")),
                   "the trial restore made no database")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", required=True)
    parser.add_argument("--source", required=True)
    guide = Guide(parser.parse_args())
    try:
        guide.units()
        guide.script()
        guide.server()
    finally:
        if not os.environ.get("TAMARO_KEEP_TEMP"):
            shutil.rmtree(guide.root, ignore_errors=True)
    if guide.failures:
        return 1
    if guide.ran == 0:
        return 77
    print("admin guide: %d parts tried" % guide.ran)
    return 0


if __name__ == "__main__":
    sys.exit(main())
