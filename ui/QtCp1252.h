// The one place where the window's text crosses between the engine's code
// page 1252 bytes and Qt's QString.
#pragma once

#include <QString>
#include <string>

#include "core/Cp1252.h"

// Every byte of 1252 is one UTF-16 unit, so the text converts in one pass.
inline QString ToQString(const std::string& cp1252Text) {
    QString text(qsizetype(cp1252Text.size()), Qt::Uninitialized);
    QChar* out = text.data();
    for (unsigned char c : cp1252Text) *out++ = QChar(char16_t(cp1252::ToUnicode(c)));
    return text;
}

inline std::string ToCp1252(const QString& text) {
    return cp1252::FromUtf8(text.toStdString());
}
