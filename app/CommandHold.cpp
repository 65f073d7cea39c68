#include "app/CommandHold.h"

#include "app/MainView.h"
#include "app/PatientList.h"
#include "core/RunProgress.h"

namespace {

// F4 to F6, the controls whose commands query the databases of the view, and
// F7 and F8, whose print and file dialogs would hold the run up while open.
constexpr int kHeldControls[] = {IDC_F4,           IDC_F5,          IDC_F6,
                                 IDC_VIEW_VELUNDA, IDC_VIEW_ARCHIV, IDC_REFRESH,
                                 IDC_DOCTORS,      IDC_F7,          IDC_F8};

}  // namespace

bool CommandHold::Busy() const {
    return running_ || list_.Filling();
}

CommandHold::Run::Run(CommandHold& hold, IMainView& view) : hold_(hold), view_(view) {
    hold_.running_ = true;
    for (int id : kHeldControls) view_.EnableControl(id, false);
}

CommandHold::Run::~Run() {
    for (int id : kHeldControls) view_.EnableControl(id, true);
    hold_.running_ = false;
    // The progress display ends with the run, however the run ended.
    EndRunProgress();
}
