#include "core/DocumentRenderer.h"

namespace {

IDocumentRenderer* g_renderer = nullptr;

}  // namespace

void SetDocumentRenderer(IDocumentRenderer* renderer) {
    g_renderer = renderer;
}

IDocumentRenderer* GetDocumentRenderer() {
    return g_renderer;
}
