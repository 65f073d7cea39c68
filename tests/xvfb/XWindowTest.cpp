#include "tests/xvfb/XWindowTest.h"

#include <QDialog>
#include <QLabel>
#include <QLineEdit>

#include "ui/CLoginDlg.h"

namespace uitest {

void XWindowTest::SetUp() {
    if (!g_noXServer.empty()) GTEST_SKIP() << "no X server: " << g_noXServer;
    QObject::connect(&player_, &QTimer::timeout, [this] {
        if (next_ >= steps_.size()) {
            // With every step played no dialog waits for an answer; one that
            // does (a refusal nobody expected) would hold the test forever.
            QWidget* modal = QApplication::activeModalWidget();
            if (!modal) {
                sinceStep_.restart();
            } else if (sinceStep_.elapsed() > 5000) {
                auto* text = modal->findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
                ADD_FAILURE() << "unexpected " << modal->metaObject()->className() << ": "
                              << (text ? text->text().toStdString() : std::string());
                static_cast<QDialog*>(modal)->reject();
            }
            return;
        }
        if (!steps_[next_].ready()) {
            if (sinceStep_.elapsed() < 30000) return;
            QWidget* modal = QApplication::activeModalWidget();
            ADD_FAILURE() << "the step \"" << steps_[next_].name << "\" never came (focus "
                          << FocusName() << ", dialog "
                          << (modal ? modal->metaObject()->className() : "none") << ")";
            next_ = steps_.size();
            while (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget()))
                dialog->reject();
            return;
        }
        // A step acts once; the keys it sends arrive after it returns.
        Step& step = steps_[next_++];
        step.act();
        sinceStep_.restart();
    });
    WindowTest::SetUp();
}

void XWindowTest::TearDown() {
    player_.stop();
    WindowTest::TearDown();
}

void XWindowTest::Play(std::vector<Step> steps) {
    steps_ = std::move(steps);
    next_ = 0;
    sinceStep_.restart();
    player_.start(20);
}

testing::AssertionResult XWindowTest::Played(int milliseconds) {
    const bool done = QTest::qWaitFor([&] { return next_ >= steps_.size(); }, milliseconds);
    if (done && !HasFailure()) return testing::AssertionSuccess();
    if (done) return testing::AssertionFailure() << "a step failed";
    return testing::AssertionFailure() << "the step \"" << steps_[next_].name << "\" never came";
}

std::string XWindowTest::FocusName() const {
    QWidget* w = QApplication::focusWidget();
    if (!w) w = window_.focusWidget();
    // The line edit inside a date picker stands for its picker.
    if (w && !w->objectName().size() && w->parentWidget()) w = w->parentWidget();
    return w ? w->objectName().toStdString() : std::string("(none)");
}

void XLoginWindowTest::BeforeStart() {
    // Real boxes are answered by keys here.
    boxWatch_.stop();
    core_.ShowLogin = [this](ODBCConnection& main) { return CLoginDlg::Run(main, &window_); };
    Play(LoginSteps());
}

std::vector<XWindowTest::Step> XLoginWindowTest::LoginSteps() {
    return {{"login dialog", [] { return Modal<CLoginDlg>() != nullptr; },
             [] {
                 xdo::Focus(Modal<CLoginDlg>());
                 xdo::Key("Tab");
                 xdo::Type("geheim");
                 xdo::Key("Return");
             }}};
}

}  // namespace uitest
