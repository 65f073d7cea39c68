// "tamaro --headless" archiving, restoring, deleting, showing patients and
// saving its log, as an administrator runs it, on practices of both kinds
// with the fixed cases of tamaro-mkpractice (Velunda lists 10 to 16 and 21 for
// doctor 2; 1 to 9 have open business).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include "tests/fixtures/HeadlessProgram.h"
#include "tests/fixtures/LockHeldElsewhere.h"
#include "tests/fixtures/PrivateSessionBus.h"

#ifdef TAMARO_HAVE_PROGRAM

using namespace testenv;

namespace {

using HeadlessCommandsTest = HeadlessProgramTest;

TEST_P(HeadlessCommandsTest, ArchiveInfoRestoreDeleteAndTheSavedLog) {
    PrivateSessionBus bus;
    if (!bus.Ready()) GTEST_SKIP() << "no dbus-daemon";
    const fs::path rtf = cfg_.path() / "Verlauf 1.rtf";
    HeadlessResult r =
        Run("--archive 11,12 --view archiv --info 12 --restore 12 --delete 11 --yes "
            "--save-log '" +
            rtf.string() + "'");
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    // The commands in the order given, each through the window's path.
    const size_t archived = r.out.find("Datentransfer Velunda -> Archiv...\n"),
                 info = r.out.find("INFO\tVorname\tLars\nINFO\tName\tLenz\n"),
                 restored = r.out.find("Datentransfer Archiv -> Velunda...\n"),
                 deleted = r.out.find("Patienten l\xc3\xb6schen aus Archiv...\n");
    EXPECT_LT(archived, info) << r.out;
    EXPECT_LT(info, restored) << r.out;
    EXPECT_LT(restored, deleted) << r.out;
    EXPECT_TRUE(r.Out("INFO\t\t\nINFO\tScheine\t1\nINFO\tZiffern\t4\n")) << r.out;
    EXPECT_TRUE(
        r.Err("[Frage] Wollen Sie die 2 selektierten Eintr\xc3\xa4ge wirklich "
              "archivieren?\n\nAchtung:"))
        << r.err;
    EXPECT_TRUE(
        r.Err("[Frage] Wollen Sie die 1 selektierten Eintr\xc3\xa4ge wirklich "
              "restaurieren?\n[Antwort] Ja\n"))
        << r.err;
    EXPECT_TRUE(
        r.Err("[Frage] Wollen Sie die 1 selektierten Eintr\xc3\xa4ge wirklich "
              "l\xc3\xb6schen?\n[Antwort] Ja\n"))
        << r.err;
    // The deletion in Velunda (archive) and the command (restore) told the
    // other programs; the deletion in the archive did not.
    EXPECT_EQ(bus.NewPatientSignals(), 2);

    const std::string saved = ReadFile(rtf);
    EXPECT_EQ(saved.rfind("{\\rtf1\\ansi\\ansicpg1252", 0), 0u);
    EXPECT_NE(saved.find("\\cf1\\b Initialisierung...\\par"), std::string::npos) << saved;
    EXPECT_NE(saved.find("Patienten l\\'f6schen aus Archiv...\\par"), std::string::npos);
    EXPECT_EQ(saved.find("INFO"), std::string::npos);  // printed, not logged

    // 12 is back in Velunda, 11 is gone from both sides.
    r = Run("--list --info 11 --view archiv --info 11");
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.Out("LIST\t12\tLenz, Lars\t")) << r.out;
    EXPECT_FALSE(r.Out("LIST\t11\t")) << r.out;
    EXPECT_FALSE(r.Out("INFO")) << r.out;
    // A display starts nothing, and its refusal does not say so.
    EXPECT_TRUE(
        r.Err("[Meldung] Dieser Patient kann nicht angezeigt werden:\n"
              "\xe2\x80\xa2 nicht in Velunda vorhanden: 11\n[Meldung] Dieser"))
        << r.err;
    EXPECT_TRUE(r.Err("\xe2\x80\xa2 nicht im Archiv vorhanden: 11\n")) << r.err;
    EXPECT_FALSE(r.Err("nicht gestartet")) << r.err;
}

TEST_P(HeadlessCommandsTest, RefusedListsSiblingProgramsAndAnUnconfirmedDeleteChangeNothing) {
    // Open business (1), twice (11), nowhere (99): one message names them all.
    HeadlessResult r = Run("--archive 1,11,99,11");
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(
        r.Err("[Meldung] Diese Patienten k\xc3\xb6nnen nicht archiviert werden:\n"
              "\xe2\x80\xa2 mehrfach angegeben: 11\n"
              "\xe2\x80\xa2 nicht in Velunda vorhanden: 99\n"
              "\xe2\x80\xa2 mit offenen Leistungen, Rechnungen, eDokus, leeren Scheinen "
              "oder Kassenbucheintr\xc3\xa4gen: 1\n"
              "Der Vorgang wird nicht gestartet.\n"))
        << r.err;
    EXPECT_FALSE(r.Out("Datentransfer")) << r.out;
    EXPECT_FALSE(r.Err("[Frage]"));

    r = Run("--restore 12");
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.Err("nicht im Archiv vorhanden: 12")) << r.err;

    // Deleting asks with No as its default: without --yes nothing happens.
    r = Run("--delete 11,12");
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(
        r.Err("[Frage] Wollen Sie die 2 selektierten Eintr\xc3\xa4ge wirklich "
              "l\xc3\xb6schen?\n[Antwort] Nein\n"
              "tamaro: --delete: ohne --yes wird nichts gel\xc3\xb6scht\n"))
        << r.err;
    EXPECT_FALSE(r.Out("Patienten l\xc3\xb6schen")) << r.out;
    // A list refused before the question is not blamed on the missing --yes.
    r = Run("--delete 11,99");
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(
        r.Err("\xe2\x80\xa2 nicht in Velunda vorhanden: 99\nDer Vorgang wird nicht "
              "gestartet.\n"))
        << r.err;
    EXPECT_FALSE(r.Err("--yes")) << r.err;
    EXPECT_FALSE(r.Err("[Frage]")) << r.err;

    // Values that are no pid lists, and options nobody knows, stop the
    // program before it starts.
    for (const char* bad : {"--archive 1x", "--delete '1) or (1=1'", "--restore ,12",
                            "--info 11,12", "--archive 99999999999", "--archive",
                            "--archiv 12"}) {
        r = Run(bad);
        EXPECT_EQ(r.status, 1) << bad;
        EXPECT_EQ(r.out, "") << bad;
        EXPECT_EQ(r.err.rfind("tamaro: ", 0), 0u) << bad << ": " << r.err;
    }

    // A running sibling program: Velunda stops archiving, Pockora deleting
    // in the Velunda view; a deletion in the archive view tests none.
    LockHeldElsewhere velunda(locks_.str() + "/VelundaMTX.lock");
    ASSERT_TRUE(velunda.Held());
    r = Run("--archive 11");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "[Meldung] Bitte beenden Sie Velunda\n");
    velunda.Release();
    LockHeldElsewhere pockora(locks_.str() + "/PockoraMTX.lock");
    ASSERT_TRUE(pockora.Held());
    r = Run("--archive 11 --delete 12 --yes");
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.Out("Datentransfer Velunda -> Archiv...")) << r.out;
    EXPECT_TRUE(r.Err("[Meldung] Bitte beenden Sie Pockora\n")) << r.err;
    r = Run("--view archiv --delete 11 --yes");
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    pockora.Release();

    // A command after a failed one, or after a start with problems, is named
    // on standard error with the reason it is not run.
    r = Run("--archive 1 --delete 12 --yes");
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.Err("tamaro: --delete 12: nicht ausgef\xc3\xbchrt, weil ein Befehl davor "
                      "fehlgeschlagen ist\n"))
        << r.err;
    for (const auto& entry : fs::directory_iterator(practice_.path() / "Database"))
        if (entry.path().stem() == "archiv") fs::remove(entry.path());
    fs::remove_all(program_.path() / "tpl");
    r = Run("--archive 11");
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.Err("tamaro: --archive 11: nicht ausgef\xc3\xbchrt, weil der Start Fehler "
                      "gemeldet hat (siehe Protokoll)\n"))
        << r.err;
    MakeProgramDir(program_.path());

    // A log that cannot be saved is a red line and status 1.
    r = Run("--save-log /nonexistent/folder/verlauf.rtf");
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.Out("Speichern fehlgeschlagen: /nonexistent/folder/verlauf.rtf\n")) << r.out;
}

// A second Tamaro on a practice whose Firebird files the embedded engine
// opens: the first (here held in the middle of a run) has every file, and
// the second names it after each failed connection and says what to do. The
// first then finishes its run.
TEST_P(HeadlessCommandsTest, ASecondTamaroOnAnEmbeddedPracticeNamesTheFirst) {
    if (GetParam() != "fdb") GTEST_SKIP() << "the Access kind's files are shared";
    int input[2];
    ASSERT_EQ(pipe(input), 0);
    const fs::path firstOut = cfg_.path() / "first.txt";
    const pid_t first = fork();
    if (first == 0) {
        dup2(input[0], 0);
        close(input[0]);
        close(input[1]);
        const int out = open(firstOut.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        dup2(out, 1);
        dup2(out, 2);
        if (chdir(program_.str().c_str()) != 0) _exit(126);
        setenv("TAMARO_RUN_STOP_AT", "inserts", 1);
        const std::string program = (ProgramDir() / "tamaro").string();
        execl(program.c_str(), program.c_str(), "--headless", "--user", "mueller", "--archive",
              "13", static_cast<char*>(nullptr));
        _exit(127);
    }
    close(input[0]);
    ASSERT_EQ(write(input[1], "geheim\n", 7), 7);
    close(input[1]);
    int status = 0;
    ASSERT_EQ(waitpid(first, &status, WUNTRACED), first);
    ASSERT_TRUE(WIFSTOPPED(status)) << ReadFile(firstOut);

    const HeadlessResult r = Run("");
    EXPECT_EQ(r.status, 1);
    // Standard output is UTF-8: "\xe2\x80\xa2" is the bullet, "\xc3\xb6" an ö.
    const std::string holder = "Prozess " + std::to_string(first) + " (tamaro).\n";
    const std::string opened =
        " ist schon ge\xc3\xb6"
        "ffnet von: " +
        holder;
    EXPECT_TRUE(r.Out("Fehler beim Connect zu data.fdb\n\xe2\x80\xa2 data.fdb" + opened +
                      "Fehler beim Connect zu ifap.fdb\n"))
        << r.out;
    EXPECT_TRUE(r.Out("Fehler beim Connect zu kartei.fdb\n\xe2\x80\xa2 kartei.fdb" + opened +
                      "Die Firebird-Datenbanken dieser Praxis werden ohne Datenbankserver "
                      "ge\xc3\xb6"
                      "ffnet (FBConnect ohne Rechnernamen in Network.cfg), und so "
                      "kann nur ein Programm zur Zeit mit ihnen arbeiten. Beenden Sie das oben "
                      "genannte Programm (ein anderes Tamaro oder Velunda) und starten Sie "
                      "Tamaro danach neu.\n"))
        << r.out;

    ASSERT_EQ(kill(first, SIGCONT), 0);
    ASSERT_EQ(waitpid(first, &status, 0), first);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << ReadFile(firstOut);
    EXPECT_TRUE(Run("--view archiv --list").Out("LIST\t13\t")) << ReadFile(firstOut);
}

INSTANTIATE_TEST_SUITE_P(Kinds, HeadlessCommandsTest, ::testing::Values("fdb", "mdb"));

}  // namespace

#endif
