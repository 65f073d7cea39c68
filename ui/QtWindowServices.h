// Window services of the Qt window: message boxes titled "Tamaro" (with the
// symbol of their kind, without a maximise button) and the wait cursor as an
// application override cursor. Tests can queue the next
// answers; a queued answer is returned without showing a box. Every box is
// recorded, shown or not.
#pragma once

#include <deque>
#include <vector>

#include "core/ScriptedWindowServices.h"
#include "core/WindowServices.h"

class QWidget;

class QtWindowServices : public IWindowServices {
  public:
    explicit QtWindowServices(QWidget* owner = nullptr) : owner_(owner) {}
    ~QtWindowServices() override;

    MsgResult MessageBox(const std::string& text, MsgButtons buttons, MsgResult defaultButton,
                         MsgIcon icon) override;
    void BeginWaitCursor() override;
    void EndWaitCursor() override;

    void SetOwner(QWidget* owner) { owner_ = owner; }
    QWidget* Owner() const { return owner_; }
    void QueueAnswer(MsgResult answer) { answers_.push_back(answer); }
    const std::vector<ScriptedWindowServices::Box>& Boxes() const { return boxes_; }
    int WaitDepth() const { return waitDepth_; }

  private:
    QWidget* owner_;
    std::deque<MsgResult> answers_;
    std::vector<ScriptedWindowServices::Box> boxes_;
    int waitDepth_ = 0;
};
