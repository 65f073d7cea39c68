// Lays a patient's record out as a PDF with Qt's text document and PDF
// writer: A4 portrait, DejaVu Sans, each page with the document's footer and
// "Seite n von m". The window program has its application object; the
// headless mode has none, so the renderer makes one on Qt's offscreen
// platform at its first document (no screen needed) and lets it go when it
// ends.
#pragma once

#include <memory>
#include <string>

#include "core/DocumentRenderer.h"

class QGuiApplication;

class QtDocumentRenderer : public IDocumentRenderer {
  public:
    // program: argv[0], for the application object the renderer may make.
    explicit QtDocumentRenderer(const char* program = "tamaro");
    ~QtDocumentRenderer() override;
    QtDocumentRenderer(const QtDocumentRenderer&) = delete;
    QtDocumentRenderer& operator=(const QtDocumentRenderer&) = delete;

    bool RenderPdf(const RecordDocument& document, std::string& pdf, std::string& error) override;

  private:
    void NeedApplication();

    std::string arguments_[3];
    char* argv_[4] = {};
    int argc_ = 3;
    std::unique_ptr<QGuiApplication> application_;
};
