#include "archive/RunGate.h"

#include "archive/RunJournal.h"
#include "core/WindowServices.h"

std::string RunGate::UnfinishedRunText() {
    return "Ein früherer Vorgang ist nicht abgeschlossen (" + RunJournal::Path() +
           ").\nWeitere Vorgänge sind gesperrt, bis Tamaro ihn beim nächsten Start "
           "abgeschlossen hat.";
}

bool RunGate::AdmitRun() {
    switch (lock_.Take()) {
        case RunLock::Result::Taken:
            break;
        case RunLock::Result::Busy:
            ShowMessage(RunLock::BusyText(lock_.Holder()));
            return false;
        case RunLock::Result::Failed:
            ShowMessage("Die Sperrdatei " + RunLock::Path() + " kann nicht angelegt werden (" +
                        lock_.Error() + ").\nDer Vorgang wird nicht gestartet.");
            return false;
    }
    if (RunJournal::Exists()) {
        lock_.Release();
        ShowMessage(UnfinishedRunText());
        return false;
    }
    return true;
}

bool RunGate::AdmitReader() {
    if (lock_.Take() != RunLock::Result::Busy) return true;
    ShowMessage(RunLock::BusyText(lock_.Holder()));
    return false;
}
