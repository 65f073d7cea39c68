#include "ui/WindowRunProgress.h"

#include <QCoreApplication>
#include <QWidget>

#include "core/RunProgressText.h"
#include "ui/QtCp1252.h"

WindowRunProgress::WindowRunProgress(QWidget* window) : window_(window) {}

void WindowRunProgress::Progress(const std::string& what, uint64_t done, uint64_t total) {
    if (caption_.isEmpty()) {
        caption_ = window_->windowTitle();
        sincePaint_.start();
    }
    const QString caption =
        caption_ + QStringLiteral(" – ") + ToQString(RunProgressText(what, done, total));
    if (window_->windowTitle() != caption) window_->setWindowTitle(caption);
    if (sincePaint_.elapsed() < kPaintInterval) return;
    sincePaint_.restart();
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void WindowRunProgress::Finished() {
    if (caption_.isEmpty()) return;
    window_->setWindowTitle(caption_);
    caption_.clear();
}
