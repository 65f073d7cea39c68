#include "app/headless/HeadlessView.h"

#include <cstdio>
#include <ctime>

#include "core/Cp1252.h"
#include "patient/PatientInfo.h"

int64_t HeadlessView::GetPickerTime(int id) const {
    auto it = pickers_.find(id);
    // A picker that was never set shows today, as a new date control does.
    return it != pickers_.end() ? it->second : int64_t(std::time(nullptr));
}

bool HeadlessView::IsControlEnabled(int id) const {
    auto it = disabled_.find(id);
    return it == disabled_.end() || !it->second;
}

std::string HeadlessView::GetControlText(int id) const {
    auto it = texts_.find(id);
    if (it != texts_.end()) return it->second;
    if (id == IDC_F4) return "F4: Archivieren";
    return {};
}

void HeadlessView::ShowPatientInfo(int32_t pid, ArchiveDbPair* list) {
    for (const PatientInfoLine& line : PatientInfoLines(list, pid))
        std::fputs(cp1252::ToUtf8("INFO\t" + line.label + "\t" + line.value + "\n").c_str(),
                   stdout);
    std::fflush(stdout);
}
