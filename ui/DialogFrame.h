// The frame of the program's dialogs and message boxes: a title with the
// window menu and a close button, no maximise or minimise button. Without
// explicit hints the window manager offers every function, maximise too.
#pragma once

class QWidget;

void UseDialogFrame(QWidget* dialog);
