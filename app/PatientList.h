// The patient list of the main window (control 1000): rebuilt from the
// filter controls and the databases of the view shown, without the patients
// who still have open business in Velunda, with each patient's latest
// service. Also remembers whether the last Velunda list could be checked for
// open business completely; archiving out of an unchecked list is refused.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_set>

struct ArchiveDbPair;
class DatabaseSet;
class IListView;
class IMainView;

class PatientList {
  public:
    explicit PatientList(DatabaseSet& set) : set_(set) {}
    PatientList(const PatientList&) = delete;
    PatientList& operator=(const PatientList&) = delete;

    // Rebuilds the list of the view from its filter controls, with the
    // progress lines, the wait cursor and the ready line. Does nothing while
    // the view's main database is closed.
    void FillList(IMainView& view);
    // FillList, unless the list shows already what it would build now: the
    // last fill read the same view, the same filters and the same list
    // control, every query of it succeeded without a red line, and nothing
    // has been filled or emptied since (every run refills the list when it
    // ends, so a run since then has re-read the patients too). The headless
    // --list uses it after the start-up fill. True when it filled.
    bool FillListUnlessCurrent(IMainView& view);

    // True from a Velunda list in which any of the six queries for open
    // business failed (or could not run) until a Velunda list in which all
    // of them succeeded.
    bool ArchiveUnsafe() const { return archiveUnsafe_; }
    // True while FillList runs (its log lines let the window handle clicks).
    bool Filling() const { return filling_; }
    // Archiving out of the Velunda view while the list is unsafe: shows the
    // refusal and returns true. Otherwise false, without a message.
    bool RefuseUnsafeArchive() const;

  private:
    // What a fill reads from the view: the side, the filter controls as the
    // queries take them, the list it writes into.
    struct Inputs {
        const ArchiveDbPair* source = nullptr;
        const IListView* list = nullptr;
        int32_t admittedFrom = 0, admittedTo = 0, serviceFrom = 0, serviceTo = 0;
        std::string name;
        bool runsEnabled = false;
        int runIndex = -1;
        int32_t runDatum = 0;
        int32_t doctor = -1;
        int32_t presetPid = -1;
        bool operator==(const Inputs&) const = default;
    };
    Inputs ReadInputs(IMainView& view) const;

    DatabaseSet& set_;
    Inputs lastFill_;
    bool current_ = false;  // the list is what a fill with lastFill_ builds
    bool archiveUnsafe_ = false;
    bool filling_ = false;  // a refresh asked for while the list is filled is dropped
};

// The patients of the Velunda side who still have open business there (open
// invoices, unbilled services or forms, cash-book entries, empty billing
// records): the six queries of the list, each failure reported in red with
// its label. True when every query ran.
bool CollectOpenBusiness(ArchiveDbPair* velunda, std::unordered_set<int32_t>& pids);

// The refusal of RefuseUnsafeArchive.
extern const char* const UnsafeArchiveMessage;

// "pid in (...) " for a run's pid list; a list too long for one in-list of
// Firebird becomes "(pid in (...) or pid in (...)) ". Empty for an empty list.
std::string RunFilterText(const std::string& pidList);
// The patient query of the list; name is the text of the name field as
// typed (apostrophes are doubled here), the filters as built by the list
// ("pid in (...) ", "aid=3 ") or empty.
std::string PatientQuery(int32_t admittedFrom, int32_t admittedTo, const std::string& name,
                         const std::string& pidFilter, const std::string& doctorFilter);
// The archive view's line about the patients that the "Letzte Leistung"
// range alone leaves out: how many, and the range (first to last latest
// service, as stored dates) that shows them together with those listed.
std::string OutsideRangeLine(int patients, int32_t first, int32_t last);
// The kind of insurance of column 1; empty for values without a text.
std::string InsuranceText(bool known, int32_t privatpatient);
// Stored seconds as the local calendar day "dd.mm.yyyy"; "---" for 0.
std::string ServiceDateText(int32_t datum);
// The calendar day of a picker value at the given local time of day, as a
// stored date.
int32_t PickerDayAt(int64_t pickerSeconds, int hour, int minute, int second);
