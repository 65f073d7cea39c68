#include <csignal>

#include "platform/StopSignals.h"
#include "ui/TamaroMain.h"

int main(int argc, char** argv) {
    // Before any thread starts, so that every thread inherits the blocked set.
    stopsignals::Install();
    // A write beyond a file-size limit then fails with an error that the
    // program reports, rather than ending the program in the middle of it.
    std::signal(SIGXFSZ, SIG_IGN);
    return RunTamaro(argc, argv);
}
