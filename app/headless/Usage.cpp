#include "app/headless/Usage.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "app/VersionText.h"
#include "core/Cp1252.h"

const char* Usage::Text() {
    return "Aufruf: tamaro [AID=n] [PID=n]\n"
           "        tamaro --headless [AID=n] [PID=n] [Befehle]\n"
           "        tamaro --help | --version\n"
           "\n"
           "Tamaro archiviert Patienten der Velunda-Datenbanken einer Praxis. Es wird aus\n"
           "seinem Programmordner gestartet, der tpl/ und Dokumentation/ enthält.\n"
           "\n"
           "  AID=n                      den Arzt mit der Nummer n vorwählen\n"
           "  PID=n                      nur den Patienten mit der Nummer n ankreuzen\n"
           "  --headless                 ohne Fenster: das Protokoll auf die Standardausgabe,\n"
           "                             Meldungen mit ihrer Vorgabe-Antwort auf die\n"
           "                             Standardfehlerausgabe; Exit-Status 1 genau dann,\n"
           "                             wenn der Start oder ein Befehl scheiterte oder\n"
           "                             abgelehnt wurde (auch jede rote Zeile außer einem\n"
           "                             Hinweis, etwa dass ein anderer Vorgang läuft),\n"
           "                             sonst 0\n"
           "  --help                     diese Hilfe zeigen\n"
           "  --version                  die Programmversion zeigen\n"
           "\n"
           "Befehle im Modus --headless, nach dem Start in der gegebenen Reihenfolge:\n"
           "  --user NAME                anmelden; das Passwort wird von der\n"
           "                             Standardeingabe gelesen\n"
           "  --password-file DATEI      das Passwort stattdessen aus DATEI lesen\n"
           "  --list                     die Patientenliste ausgeben (Zeilen \"LIST\"), mit den\n"
           "                             Filtern:\n"
           "    --service-from TT.MM.JJJJ   letzte Leistung ab\n"
           "    --service-to TT.MM.JJJJ     letzte Leistung bis\n"
           "    --admitted-from TT.MM.JJJJ  Aufnahmedatum ab\n"
           "    --admitted-to TT.MM.JJJJ    Aufnahmedatum bis\n"
           "    --name TEXT                 Teil des Nachnamens\n"
           "    --doctor AID                Arzt\n"
           "    --run N                     Archivierung Nummer N (Archiv-Ansicht)\n"
           "  --view velunda|archiv      die Ansicht wechseln\n"
           "  --archive LISTE            Patienten archivieren (Nummern, durch Kommas\n"
           "                             getrennt, ohne Leerzeichen), wie F4 in der\n"
           "                             Velunda-Ansicht\n"
           "  --restore LISTE            Patienten aus dem Archiv zurückholen, wie F4 in\n"
           "                             der Archiv-Ansicht\n"
           "  --delete LISTE --yes       Patienten in der gewählten Ansicht löschen, wie\n"
           "                             F6; ohne --yes wird nichts gelöscht (Status 1)\n"
           "  --info PID                 die Patienteninformation der gewählten Ansicht\n"
           "                             ausgeben (Zeilen \"INFO\")\n"
           "  --dry-run                  vor --archive, --restore oder --delete: nur zeigen,\n"
           "                             was der Befehl je Tabelle verschieben bzw. löschen\n"
           "                             würde (Zeilen \"PLAN\"); nichts wird geändert\n"
           "  --check                    den Datenbestand prüfen: Patienten auf beiden Seiten\n"
           "                             (both), Einträge ohne Patientensatz (orphan),\n"
           "                             doppelte Patientensätze (duplicate), als Zeilen\n"
           "                             \"CHECK\"; Exit-Status 1, wenn etwas gefunden wurde\n"
           "  --export LISTE --to ORDNER die Akten dieser Patienten aus der gewählten\n"
           "                             Ansicht in ORDNER (neu oder leer) exportieren: je\n"
           "                             Patient ein Ordner mit Patientenakte.pdf, daten/,\n"
           "                             patient.json, anhaenge/ und manifest.json\n"
           "                             (Zeilen \"EXPORT\"); die Datenbanken bleiben\n"
           "                             unverändert\n"
           "  --save-log DATEI           am Ende das ganze Protokoll als RTF-Datei speichern\n"
           "Eine Liste, die einen Patienten doppelt nennt, einen Patienten, den es in der\n"
           "Ansicht nicht gibt, oder in der Velunda-Ansicht einen mit offenen Leistungen,\n"
           "wird abgelehnt, bevor etwas geändert wird.\n"
           "\n"
           "Die Velunda-Installation steht in ~/.config/Kvarn/Velunda.conf (path=...).\n"
           "Mehr dazu: man tamaro\n";
}

bool Usage::Answer(int argc, char** argv, int& status) {
    for (int i = 1; i < argc; ++i) {
        bool help = std::strcmp(argv[i], "--help") == 0;
        if (!help && std::strcmp(argv[i], "--version") != 0) continue;
        std::string text = help ? Text() : GetVersionText() + "\n";
        std::fputs(cp1252::ToUtf8(text).c_str(), stdout);
        std::fflush(stdout);
        status = 0;
        return true;
    }
    return false;
}
