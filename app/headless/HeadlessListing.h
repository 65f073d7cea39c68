// The patient list and the view switch as commands of the headless mode:
//   --list                 fills the list as the refresh button does (unless
//                          the list shown is already that one: same view and
//                          filters, filled without a failure, no run since)
//                          and prints its rows as
//                          LIST<TAB>pid<TAB>Patient<TAB>Art<TAB>Leistung<TAB>0|1
//   --view velunda|archiv  switches the view as its button does
// and the filter controls that a --list reads first:
//   --service-from, --service-to, --admitted-from, --admitted-to DD.MM.YYYY,
//   --name TEXT, --doctor AID, --run N (1 = the newest archiving run, 0 "---").
// A filter option belongs to the --list it follows; given before any other
// command, to the next --list. The controls keep what was set, as in the
// window.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "app/headless/HeadlessCommands.h"

class HeadlessView;
class MainDialogCore;

struct ListFilters {
    std::optional<int64_t> serviceFrom, serviceTo, admittedFrom, admittedTo;
    std::optional<std::string> name;  // CP1252
    std::optional<int32_t> doctor;
    std::optional<int> run;
    bool Empty() const {
        return !serviceFrom && !serviceTo && !admittedFrom && !admittedTo && !name && !doctor &&
               !run;
    }
};

// One command of the headless command line, in the order given.
struct HeadlessStep {
    HeadlessCommand kind;
    std::string argument;  // the pid list, or the view ("velunda", "archiv")
    ListFilters filters;   // --list only
    std::string target{};  // --export only: the folder of --to, as given
    bool preview = false;  // --dry-run came before this --archive, --restore or --delete
};

// Collects the listing arguments of a command line into steps.
class HeadlessListingParser {
  public:
    // True when argv[i] is --list, --view or a filter option; it is then
    // consumed (with its value: i moves on). A bad or missing value leaves
    // a message for Error().
    bool Take(int argc, char** argv, int& i, std::vector<HeadlessStep>& steps);
    // At the end of the command line: false when filter options were given
    // for no --list.
    bool Finish();
    const std::string& Error() const { return error_; }

  private:
    ListFilters pending_;
    int open_ = -1;  // the step of the --list just read, -1 after any other command
    std::string error_;
};

// "DD.MM.YYYY" as that day at 00:00 local time, in seconds since 1970; empty
// for anything else, or a day whose stored date does not fit 32 bits.
std::optional<int64_t> ParseDayText(const std::string& text);

// Runs a --list or --view step. False (with a message on standard error) when
// a filter names no entry of its list.
bool RunListingStep(MainDialogCore& core, HeadlessView& view, const HeadlessStep& step);
