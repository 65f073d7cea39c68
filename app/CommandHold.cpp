#include "app/CommandHold.h"

#include "app/MainView.h"
#include "app/PatientList.h"
#include "core/Globals.h"
#include "core/LogSink.h"
#include "core/RunProgress.h"

namespace {

// F4 to F6, the controls whose commands query the databases of the view, and
// F7 and F8, whose print and file dialogs would hold the run up while open.
constexpr int kHeldControls[] = {IDC_F4,           IDC_F5,          IDC_F6,
                                 IDC_VIEW_VELUNDA, IDC_VIEW_ARCHIV, IDC_REFRESH,
                                 IDC_DOCTORS,      IDC_F7,          IDC_F8};
constexpr int kHeldCount = int(sizeof kHeldControls / sizeof kHeldControls[0]);

}  // namespace

std::string BusyRefusal(const std::string& command) {
    return command + " ist nicht möglich, solange ein anderer Vorgang läuft.";
}

bool CommandHold::Busy() const {
    return running_ || list_.Filling();
}

bool CommandHold::Refuses(const std::string& command) const {
    if (!Busy()) return false;
    AppendLogAside(BusyRefusal(command), ColourRed);
    return true;
}

CommandHold::Run::Run(CommandHold& hold, IMainView& view) : hold_(hold), view_(view) {
    hold_.running_ = true;
    for (int i = 0; i < kHeldCount; ++i) {
        if (view_.IsControlEnabled(kHeldControls[i])) enabled_ |= 1u << i;
        view_.EnableControl(kHeldControls[i], false);
    }
}

CommandHold::Run::~Run() {
    for (int i = 0; i < kHeldCount; ++i)
        view_.EnableControl(kHeldControls[i], (enabled_ >> i) & 1u);
    hold_.running_ = false;
    // The progress display ends with the run, however the run ended.
    EndRunProgress();
}
