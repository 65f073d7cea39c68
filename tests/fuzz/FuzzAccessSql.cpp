// The Access-kind driver's lexer and translator on any statement text: a
// statement is translated or refused with a driver error, never more.
#include <cstdint>
#include <string>

#include "core/Cp1252.h"
#include "drivers/access/AccessLexer.h"
#include "drivers/access/AccessTranslator.h"
#include "drivers/common/Backend.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The driver gets code page 1252 text and works in UTF-8.
    const std::string sql(reinterpret_cast<const char*>(data), size);
    try {
        accessdrv::AccessTranslator::Translate(
            accessdrv::AccessLexer::Tokenize(cp1252::ToUtf8(sql)));
    } catch (const odbcdrv::DriverError&) {
    }
    try {
        accessdrv::AccessLexer::ParseDate(sql);
    } catch (const odbcdrv::DriverError&) {
    }
    return 0;
}
