#include "firebird/FbBackend.h"

#include <locale.h>

#include <clocale>
#include <tuple>

#include "core/FsPath.h"
#include "firebird/FbApi.h"
#include "firebird/FbConnectParams.h"
#include "firebird/FbConnection.h"

namespace fbdrv {

namespace {

class Dpb {
  public:
    Dpb() {
        FbStatus st;
        builder_ = Util()->getXpbBuilder(&st, Firebird::IXpbBuilder::DPB, nullptr, 0);
    }
    ~Dpb() { builder_->dispose(); }
    Dpb(const Dpb&) = delete;
    Dpb& operator=(const Dpb&) = delete;
    void Text(unsigned char tag, const std::string& value) {
        FbStatus st;
        builder_->insertString(&st, tag, value.c_str());
    }
    void Tag(unsigned char tag) {
        FbStatus st;
        builder_->insertTag(&st, tag);
    }
    void Int(unsigned char tag, int value) {
        FbStatus st;
        builder_->insertInt(&st, tag, value);
    }
    unsigned Length() {
        FbStatus st;
        return builder_->getBufferLength(&st);
    }
    const unsigned char* Data() {
        FbStatus st;
        return builder_->getBuffer(&st);
    }

  private:
    Firebird::IXpbBuilder* builder_;
};

// The engine turns the UTF-8 file name into the file system's character set
// with the character set of the calling thread's locale. A program that
// never set its locale (the tools do not, and nor does a program started
// without LANG) runs in the "C" locale, in which no name outside ASCII can be
// turned; so the attach runs in a UTF-8 locale of this thread alone, leaving
// the program's own locale as it is.
class Utf8ThreadLocale {
  public:
    Utf8ThreadLocale() {
        static const locale_t utf8 = newlocale(LC_CTYPE_MASK, "C.UTF-8", locale_t(nullptr));
        if (utf8) previous_ = uselocale(utf8);
    }
    ~Utf8ThreadLocale() {
        if (previous_) uselocale(previous_);
    }
    Utf8ThreadLocale(const Utf8ThreadLocale&) = delete;
    Utf8ThreadLocale& operator=(const Utf8ThreadLocale&) = delete;

  private:
    locale_t previous_ = locale_t(nullptr);
};

}  // namespace

const std::vector<odbcdrv::TypeInfoRow>& FbBackend::Types() const {
    using odbcdrv::TypeInfoRow;
    auto type = [](const char* name, SQLSMALLINT sqlType, SQLINTEGER size) {
        TypeInfoRow t;
        t.name = name;
        t.sqlType = sqlType;
        t.columnSize = size;
        return t;
    };
    static const std::vector<TypeInfoRow> types = [&] {
        std::vector<TypeInfoRow> v;
        TypeInfoRow t = type("CHAR", SQL_CHAR, 32767);
        t.literalPrefix = t.literalSuffix = "'";
        t.createParams = "length";
        t.caseSensitive = true;
        v.push_back(t);
        t.name = "VARCHAR";
        t.sqlType = SQL_VARCHAR;
        t.columnSize = 32765;
        v.push_back(t);
        t = type("BLOB SUB_TYPE TEXT", SQL_LONGVARCHAR, 2147483647);
        t.caseSensitive = true;
        t.searchable = SQL_PRED_CHAR;
        v.push_back(t);
        t = type("BLOB", SQL_LONGVARBINARY, 2147483647);
        t.searchable = SQL_PRED_NONE;
        v.push_back(t);
        v.push_back(type("BOOLEAN", SQL_BIT, 1));
        v.push_back(type("SMALLINT", SQL_SMALLINT, 5));
        v.push_back(type("INTEGER", SQL_INTEGER, 10));
        v.push_back(type("BIGINT", SQL_BIGINT, 19));
        v.push_back(type("FLOAT", SQL_REAL, 7));
        v.push_back(type("DOUBLE PRECISION", SQL_DOUBLE, 15));
        for (auto [name, sqlType] : {std::pair{"NUMERIC", SQL_NUMERIC}, {"DECIMAL", SQL_DECIMAL}}) {
            t = type(name, sqlType, 18);
            t.createParams = "precision,scale";
            t.minimumScale = 0;
            t.maximumScale = 18;
            v.push_back(t);
        }
        for (auto [name, sqlType, size] : {std::tuple{"DATE", SQL_TYPE_DATE, 10},
                                           {"TIME", SQL_TYPE_TIME, 13},
                                           {"TIMESTAMP", SQL_TYPE_TIMESTAMP, 24}}) {
            t = type(name, sqlType, size);
            t.literalPrefix = t.literalSuffix = "'";
            if (sqlType != SQL_TYPE_DATE) t.minimumScale = t.maximumScale = 4;
            v.push_back(t);
        }
        return v;
    }();
    return types;
}

std::unique_ptr<odbcdrv::Connection> FbBackend::Connect(const odbcdrv::ConnectKeys& keys) {
    const FbConnectParams p = FbConnectParams::From(keys);
    try {
        auto fill = [&](Dpb& dpb) {
            // Every string of this attach is UTF-8, the file name above all.
            dpb.Tag(isc_dpb_utf8_filename);
            if (!p.user.empty()) dpb.Text(isc_dpb_user_name, p.user);
            if (!p.password.empty()) dpb.Text(isc_dpb_password, p.password);
            dpb.Int(isc_dpb_connect_timeout, p.timeoutSeconds);
            // A plain path is the embedded engine's alone: without this the
            // loopback provider would also try a local server and report a
            // missing file only after its own timeout.
            if (p.embeddedOnly) dpb.Text(isc_dpb_config, "Providers = Engine12");
        };
        Utf8ThreadLocale locale;
        Dpb dpb;
        fill(dpb);
        // Tool key for tests and generators: FORCEDWRITES=0 switches the
        // database's synchronous writes off (a setting kept in the file).
        if (p.forcedWrites >= 0) dpb.Int(isc_dpb_force_write, p.forcedWrites);
        dpb.Text(isc_dpb_lc_ctype, p.charset);

        FbStatus st;
        try {
            return std::make_unique<FbConnection>(
                Provider()->attachDatabase(&st, p.dbname.c_str(), dpb.Length(), dpb.Data()));
        } catch (const Firebird::FbException& e) {
            if (!p.create || !HasErrorCode(e, isc_io_error)) throw;
        }
        // Created without a connection character set (a server refuses
        // WIN1252 there before the new database knows it), then attached anew.
        Dpb create;
        fill(create);
        create.Int(isc_dpb_page_size, 8192);
        create.Text(isc_dpb_set_db_charset, "WIN1252");
        create.Int(isc_dpb_sql_dialect, SQL_DIALECT_V6);
        FbConnection(Provider()->createDatabase(&st, p.dbname.c_str(), create.Length(),
                                                create.Data()));  // detached at once
        return std::make_unique<FbConnection>(
            Provider()->attachDatabase(&st, p.dbname.c_str(), dpb.Length(), dpb.Data()));
    } catch (const Firebird::FbException& e) {
        // The engine names the file as it was given, in UTF-8; the
        // diagnostics are code page 1252 text.
        odbcdrv::DriverError error = ToDriverError(e, "08001");
        std::string text;
        if (fspath::FromFileSystem(error.message, text))
            throw odbcdrv::DriverError(error.sqlstate, text, error.native);
        throw error;
    }
}

}  // namespace fbdrv

namespace odbcdrv {

Backend& TheBackend() {
    static fbdrv::FbBackend backend;
    return backend;
}

}  // namespace odbcdrv
