// The character set of an application's 8-bit text: what the narrow entry
// points take and give, and what SQL_C_CHAR buffers hold. Inside the driver
// and in the database text is code page 1252; a connection converts at its
// boundary.
//
// The rule: the connection key CHARSET decides when it is given (UTF8 or
// WIN1252); otherwise the character-type locale of the calling thread at
// connect time does: UTF-8 when its code set is UTF-8, code page 1252 for
// any other. Tamaro connects under the C locale and so keeps code page 1252;
// isql, Perl, Python and LibreOffice run in the user's locale, on Linux
// almost always UTF-8.
#pragma once

#include <string>

namespace odbcdrv {

class ClientCharset {
  public:
    ClientCharset() = default;

    // The character set for a new connection: from the value of its CHARSET
    // key, or from the locale when the key is empty. Throws DriverError
    // (08001) for a value it does not know.
    static ClientCharset Choose(const std::string& charsetKey);
    // True when the calling thread's LC_CTYPE uses UTF-8.
    static bool LocaleIsUtf8();
    static ClientCharset Utf8Text() { return ClientCharset(true, true); }

    bool Utf8() const { return utf8_; }
    // Whether the locale at connect time was UTF-8. The driver manager
    // narrows the diagnostics it reads through the wide functions into that
    // locale's character set, so they are handed to it accordingly.
    bool LocaleUtf8() const { return localeUtf8_; }

    // Code page 1252 text in the application's character set.
    std::string ToClient(const std::string& cp1252) const;
    // The application's text in code page 1252. Text that is no valid UTF-8,
    // or a character code page 1252 cannot hold, throws DriverError 22021:
    // such text is refused rather than stored as something else.
    std::string FromClient(const std::string& text) const;

  private:
    ClientCharset(bool utf8, bool localeUtf8) : utf8_(utf8), localeUtf8_(localeUtf8) {}
    bool utf8_ = false;
    bool localeUtf8_ = false;
};

}  // namespace odbcdrv
