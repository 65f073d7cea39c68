#include "core/RunProgress.h"

namespace {
IRunProgress* g_progress = nullptr;
}

void SetRunProgress(IRunProgress* progress) {
    g_progress = progress;
}

void ReportRunProgress(const std::string& what, uint64_t done, uint64_t total) {
    if (g_progress) g_progress->Progress(what, done > total ? total : done, total);
}

void ReportRunWait(const std::string& text) {
    if (g_progress) g_progress->Progress(text, 0, kRunWaiting);
}

void EndRunProgress() {
    if (g_progress) g_progress->Finished();
}
