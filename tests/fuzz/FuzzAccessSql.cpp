// The Access-kind driver's lexer and translator on any statement text: a
// statement is translated or refused with a driver error, never more. A short
// text is also nested: its first half two thousand times, then its second
// half as often ("(" and ")"), which the limit on nesting must stop in time.
#include <cstdint>
#include <initializer_list>
#include <string>

#include "core/Cp1252.h"
#include "drivers/access/AccessLexer.h"
#include "drivers/access/AccessTranslator.h"
#include "drivers/common/base/Backend.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The driver gets code page 1252 text and works in UTF-8.
    const std::string sql(reinterpret_cast<const char*>(data), size);
    std::string nested;
    if (size <= 64) {
        for (int k = 0; k < 2000; ++k) nested += sql.substr(0, size / 2);
        for (int k = 0; k < 2000; ++k) nested += sql.substr(size / 2);
    }
    for (const std::string* text : std::initializer_list<const std::string*>{&sql, &nested}) {
        try {
            accessdrv::AccessTranslator::Translate(
                accessdrv::AccessLexer::Tokenize(cp1252::ToUtf8(*text)));
        } catch (const odbcdrv::DriverError&) {
        }
    }
    try {
        accessdrv::AccessLexer::ParseDate(sql);
    } catch (const odbcdrv::DriverError&) {
    }
    return 0;
}
