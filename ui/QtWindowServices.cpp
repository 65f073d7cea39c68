#include "ui/QtWindowServices.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

#include "ui/DialogFrame.h"
#include "ui/QtCp1252.h"

QtWindowServices::~QtWindowServices() {
    while (waitDepth_ > 0) EndWaitCursor();
}

MsgResult QtWindowServices::MessageBox(const std::string& text, MsgButtons buttons,
                                       MsgResult defaultButton, MsgIcon icon) {
    MsgResult answer;
    if (!answers_.empty()) {
        answer = answers_.front();
        answers_.pop_front();
    } else {
        QMessageBox box(owner_);
        box.setObjectName(QStringLiteral("MessageBox"));
        UseDialogFrame(&box);
        box.setWindowTitle(QStringLiteral("Tamaro"));
        box.setText(ToQString(text));
        box.setTextFormat(Qt::PlainText);
        // A box must be usable while the wait cursor of a running command is on.
        const bool cursorOn = QApplication::overrideCursor() != nullptr;
        if (cursorOn) QApplication::setOverrideCursor(Qt::ArrowCursor);
        if (buttons == MsgButtons::YesNo) {
            box.setIcon(QMessageBox::Question);
            QPushButton* yes = box.addButton(QStringLiteral("&Ja"), QMessageBox::YesRole);
            QPushButton* no = box.addButton(QStringLiteral("&Nein"), QMessageBox::NoRole);
            box.setDefaultButton(defaultButton == MsgResult::Yes ? yes : no);
            box.setEscapeButton(no);
            box.exec();
            answer = box.clickedButton() == yes ? MsgResult::Yes : MsgResult::No;
        } else {
            box.setIcon(icon == MsgIcon::Error     ? QMessageBox::Critical
                        : icon == MsgIcon::Warning ? QMessageBox::Warning
                                                   : QMessageBox::Information);
            QPushButton* ok = box.addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
            box.setDefaultButton(ok);
            box.setEscapeButton(ok);
            box.exec();
            answer = MsgResult::Ok;
        }
        if (cursorOn) QApplication::restoreOverrideCursor();
    }
    boxes_.push_back({text, buttons, defaultButton, answer, icon});
    return answer;
}

void QtWindowServices::BeginWaitCursor() {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    ++waitDepth_;
}

void QtWindowServices::EndWaitCursor() {
    // Restores only cursors this object set, so an unbalanced end cannot
    // take away someone else's override cursor.
    if (waitDepth_ == 0) return;
    --waitDepth_;
    QApplication::restoreOverrideCursor();
}
