// "--export LIST --to DIR" of the headless mode: the records of the patients
// of LIST in the view shown ("--view archiv" before it exports archived
// patients) handed out into the folder DIR, which must not exist yet or be
// empty, as "Patientenakte exportieren…" does in the window. Prints one line
// per record, EXPORT<TAB>pid<TAB>folder (UTF-8), once all are in place.
#pragma once

#include <string>
#include <vector>

#include "app/headless/HeadlessListing.h"

class HeadlessView;
class MainDialogCore;

// True when argv[i] is --export; it is then consumed with its list and
// "--to DIR" (i moves on). A bad or missing value leaves the message for
// standard error in error.
bool TakeExportArgument(int argc, char** argv, int& i, std::vector<HeadlessStep>& steps,
                        std::string& error);

// Runs the step; true when every record was handed out.
bool RunHeadlessExport(MainDialogCore& core, HeadlessView& view, const HeadlessStep& step);
