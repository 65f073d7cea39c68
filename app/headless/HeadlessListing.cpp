#include "app/headless/HeadlessListing.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <regex>

#include "app/headless/HeadlessView.h"
#include "app/MainDialogCore.h"
#include "core/AsciiText.h"
#include "core/Cp1252.h"

namespace {

bool IsFilterOption(const std::string& a) {
    return a == "--service-from" || a == "--service-to" || a == "--admitted-from" ||
           a == "--admitted-to" || a == "--name" || a == "--doctor" || a == "--run";
}

// A whole decimal number within [low, high].
bool ParseNumber(const std::string& text, long low, long high, long& out) {
    if (text.empty()) return false;
    char* end = nullptr;
    errno = 0;
    out = std::strtol(text.c_str(), &end, 10);
    return errno == 0 && end && *end == 0 && out >= low && out <= high;
}

// Sets the filter controls that the step names, as a user would.
bool ApplyFilters(const ListFilters& f, HeadlessView& view) {
    if (f.serviceFrom) view.SetPickerTime(IDC_SERVICE_FROM, *f.serviceFrom);
    if (f.serviceTo) view.SetPickerTime(IDC_SERVICE_TO, *f.serviceTo);
    if (f.admittedFrom) view.SetPickerTime(IDC_ADMISSION_FROM, *f.admittedFrom);
    if (f.admittedTo) view.SetPickerTime(IDC_ADMISSION_TO, *f.admittedTo);
    if (f.name) view.SetNameFilter(*f.name);
    if (f.doctor) {
        IComboBox& doctors = view.Doctors();
        int index = -1;
        for (int i = 0; i < doctors.GetCount() && index < 0; ++i)
            if (doctors.GetItemData(i) == *f.doctor) index = i;
        if (index < 0) {
            ReportHeadlessError("--doctor " + std::to_string(*f.doctor) +
                                ": kein Arzt mit dieser Nummer in der Arztliste");
            return false;
        }
        doctors.SetCurSel(index);
    }
    if (f.run) {
        IComboBox& runs = view.ArchiveRuns();
        if (*f.run >= runs.GetCount()) {
            const int stored = runs.GetCount() > 0 ? runs.GetCount() - 1 : 0;
            ReportHeadlessError("--run " + std::to_string(*f.run) +
                                ": die Liste \"Archivierung vom\" hat " + std::to_string(stored) +
                                (stored == 1 ? " Archivierung" : " Archivierungen"));
            return false;
        }
        runs.SetCurSel(*f.run);
    }
    return true;
}

void PrintRows(IListView& list) {
    for (int row = 0; row < list.GetItemCount(); ++row) {
        const std::string line = "LIST\t" + std::to_string(list.GetItemData(row)) + "\t" +
                                 list.GetItemText(row, 0) + "\t" + list.GetItemText(row, 1) + "\t" +
                                 list.GetItemText(row, 2) + "\t" +
                                 (list.GetCheck(row) ? "1" : "0") + "\n";
        std::fputs(cp1252::ToUtf8(line).c_str(), stdout);
    }
    std::fflush(stdout);
}

}  // namespace

std::optional<int64_t> ParseDayText(const std::string& text) {
    static const std::regex day(R"((\d{1,2})\.(\d{1,2})\.(\d{4}))");
    std::smatch m;
    if (!std::regex_match(text, m, day)) return std::nullopt;
    std::tm tm{};
    tm.tm_mday = std::stoi(m[1]);
    tm.tm_mon = std::stoi(m[2]) - 1;
    tm.tm_year = std::stoi(m[3]) - 1900;
    tm.tm_isdst = -1;
    const std::tm asked = tm;
    const time_t t = std::mktime(&tm);
    // mktime moves 31.02. to March; such a day does not exist.
    if (tm.tm_mday != asked.tm_mday || tm.tm_mon != asked.tm_mon || tm.tm_year != asked.tm_year)
        return std::nullopt;
    // The list compares up to the last second of the day as a 32-bit value.
    if (int64_t(t) < INT32_MIN || int64_t(t) + 86400 > INT32_MAX) return std::nullopt;
    return int64_t(t);
}

bool HeadlessListingParser::Take(int argc, char** argv, int& i, std::vector<HeadlessStep>& steps) {
    const std::string a = argv[i];
    if (a != "--list" && a != "--view" && !IsFilterOption(a)) {
        // Any other command closes the --list that filter options belong to.
        if (a == "--archive" || a == "--restore" || a == "--delete" || a == "--info" ||
            a == "--save-log" || a == "--check" || a == "--dry-run")
            open_ = -1;
        return false;
    }
    if (a == "--list") {
        steps.push_back({HeadlessCommand::List, "", pending_});
        pending_ = ListFilters();
        open_ = int(steps.size()) - 1;
        return true;
    }
    if (i + 1 >= argc) {
        error_ = a + " braucht einen Wert";
        return true;
    }
    const std::string value = argv[++i];
    if (a == "--view") {
        const std::string lower = asciitext::Lower(value);
        if (lower != "velunda" && lower != "archiv") {
            error_ = "--view: \"" + value + "\" ist keine Ansicht (velunda oder archiv)";
            return true;
        }
        steps.push_back({HeadlessCommand::View, lower, {}});
        open_ = -1;
        return true;
    }
    ListFilters& f = open_ >= 0 ? steps[size_t(open_)].filters : pending_;
    long n = 0;
    if (a == "--name") {
        // The command line is UTF-8; the name field holds code page 1252.
        f.name = cp1252::FromUtf8(value);
    } else if (a == "--doctor") {
        if (!ParseNumber(value, INT32_MIN, INT32_MAX, n))
            error_ = "--doctor: \"" + value + "\" ist keine Arztnummer";
        else
            f.doctor = int32_t(n);
    } else if (a == "--run") {
        if (!ParseNumber(value, 0, INT32_MAX, n))
            error_ = "--run: \"" + value + "\" ist keine Nummer (1 = die neueste Archivierung)";
        else
            f.run = int(n);
    } else {
        const std::optional<int64_t> day = ParseDayText(value);
        if (!day) {
            error_ = a + ": \"" + value + "\" ist kein gültiges Datum (TT.MM.JJJJ)";
            return true;
        }
        if (a == "--service-from") f.serviceFrom = day;
        if (a == "--service-to") f.serviceTo = day;
        if (a == "--admitted-from") f.admittedFrom = day;
        if (a == "--admitted-to") f.admittedTo = day;
    }
    return true;
}

bool HeadlessListingParser::Finish() {
    if (!pending_.Empty() && error_.empty())
        error_ = "Filteroptionen ohne --list: sie gelten nur für die Patientenliste";
    return error_.empty();
}

bool RunListingStep(MainDialogCore& core, HeadlessView& view, const HeadlessStep& step) {
    if (step.kind == HeadlessCommand::View) {
        if (step.argument == "archiv")
            core.OnArchiveView();
        else
            core.OnVelundaView();
        return true;
    }
    if (!ApplyFilters(step.filters, view)) return false;
    // The list that the start-up (or the command before) filled is already
    // the one asked for unless a filter or the databases changed since.
    core.Patients().FillListUnlessCurrent(view);
    PrintRows(view.Patients());
    return true;
}
