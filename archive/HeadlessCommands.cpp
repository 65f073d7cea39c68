#include "archive/HeadlessCommands.h"

#include "app/HeadlessView.h"
#include "app/MainDialogCore.h"

bool RunHeadlessCommand(MainDialogCore&, HeadlessView&, HeadlessCommand, const std::string&) {
    return false;
}
