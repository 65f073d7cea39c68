// The real main window on a practice (as tests/ui/WindowFixture.h starts it)
// shown on the private X server, with a script of keyboard steps that a
// timer plays: each step waits until its moment has come (a dialog is up, the
// list is filled) and then acts through xdotool. The timer runs inside the
// modal loops of dialogs and boxes too, so one script can walk through them.
#pragma once

#include <QApplication>
#include <QElapsedTimer>
#include <QTest>
#include <QTimer>
#include <functional>
#include <string>
#include <vector>

#include "tests/ui/WindowFixture.h"
#include "tests/xvfb/XdoTool.h"
#include "tests/xvfb/XvfbEnvironment.h"

namespace uitest {

class XWindowTest : public WindowTest {
  protected:
    struct Step {
        std::string name;
        std::function<bool()> ready;
        std::function<void()> act;
    };

    void SetUp() override;
    void TearDown() override;

    // Starts playing the steps in order. A step whose moment does not come
    // within 30 s fails the test, and every open dialog is cancelled, so
    // that the test ends.
    void Play(std::vector<Step> steps);
    // Lets the window run until every step has played.
    testing::AssertionResult Played(int milliseconds = 60000);

    template <class T>
    static T* Modal() {
        return qobject_cast<T*>(QApplication::activeModalWidget());
    }
    // The focused widget's object name ("1000", "1004", ...); while no
    // window of the program is active, that of the main window's focus widget.
    std::string FocusName() const;

  private:
    QTimer player_;
    QElapsedTimer sinceStep_;
    std::vector<Step> steps_;
    size_t next_ = 0;
};

// The same window, started with the real login dialog: the script begins
// with the steps that LoginSteps() returns (empty: the test plays its own).
class XLoginWindowTest : public XWindowTest {
  protected:
    void BeforeStart() override;
    virtual std::vector<Step> LoginSteps();
};

}  // namespace uitest
