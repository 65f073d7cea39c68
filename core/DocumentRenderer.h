// What the engine asks of the window system to turn a patient's record into
// a PDF document. The Qt program installs its implementation (also in the
// headless mode, on Qt's offscreen platform); without one there is no PDF,
// and an export that needs one fails with a message.
#pragma once

#include <string>

struct RecordDocument;

class IDocumentRenderer {
  public:
    virtual ~IDocumentRenderer() = default;
    // The document as a PDF file's bytes (A4, page numbers on every page).
    // False with the reason (code page 1252) in error.
    virtual bool RenderPdf(const RecordDocument& document, std::string& pdf,
                           std::string& error) = 0;
};

void SetDocumentRenderer(IDocumentRenderer* renderer);  // not owned; null: none
IDocumentRenderer* GetDocumentRenderer();
