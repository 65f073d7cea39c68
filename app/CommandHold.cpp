#include "app/CommandHold.h"

#include "app/MainView.h"
#include "app/PatientList.h"

namespace {

// F4 to F6, and the controls whose commands query the databases of the view.
constexpr int kHeldControls[] = {IDC_F4,          IDC_F5,      IDC_F6,     IDC_VIEW_VELUNDA,
                                 IDC_VIEW_ARCHIV, IDC_REFRESH, IDC_DOCTORS};

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
}
