#include "ui/TamaroMain.h"

int main(int argc, char** argv) {
    return RunTamaro(argc, argv);
}
