// The one place where the window's text crosses between the engine's code
// page 1252 bytes and Qt's QString.
#pragma once

#include <QString>
#include <string>

#include "core/Cp1252.h"

inline QString ToQString(const std::string& cp1252Text) {
    return QString::fromStdString(cp1252::ToUtf8(cp1252Text));
}

inline std::string ToCp1252(const QString& text) {
    return cp1252::FromUtf8(text.toStdString());
}
