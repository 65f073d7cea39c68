#include "firebird/FbBackend.h"

#include <cstdlib>

#include "firebird/FbApi.h"
#include "firebird/FbConnection.h"

namespace fbdrv {

namespace {

// Without a login timeout from the application an unreachable server still
// fails within this many seconds rather than the engine's default minutes.
constexpr int kDefaultConnectTimeout = 15;

std::string Key(const odbcdrv::ConnectKeys& keys, const char* name, const char* fallback = "") {
    auto it = keys.find(name);
    return it == keys.end() ? fallback : it->second;
}

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

}  // namespace

std::unique_ptr<odbcdrv::Connection> FbBackend::Connect(const odbcdrv::ConnectKeys& keys) {
    std::string dbname = Key(keys, "DBNAME");
    if (dbname.empty()) dbname = Key(keys, "DATABASE");
    if (dbname.empty()) throw odbcdrv::DriverError("08001", "No database given (DBNAME)");
    try {
        std::string uid = Key(keys, "UID", Key(keys, "USER").c_str());
        std::string pwd = Key(keys, "PWD", Key(keys, "PASSWORD").c_str());
        int timeout = std::atoi(Key(keys, "LOGIN_TIMEOUT").c_str());
        auto fill = [&](Dpb& dpb) {
            if (!uid.empty()) dpb.Text(isc_dpb_user_name, uid);
            if (!pwd.empty()) dpb.Text(isc_dpb_password, pwd);
            dpb.Int(isc_dpb_connect_timeout, timeout > 0 ? timeout : kDefaultConnectTimeout);
            // A plain path is the embedded engine's alone: without this the
            // loopback provider would also try a local server and report a
            // missing file only after its own timeout.
            if (!dbname.empty() && (dbname[0] == '/' || dbname[0] == '.'))
                dpb.Text(isc_dpb_config, "Providers = Engine12");
        };
        Dpb dpb;
        fill(dpb);
        // Tool key for tests and generators: FORCEDWRITES=0 switches the
        // database's synchronous writes off (a setting kept in the file).
        std::string forced = Key(keys, "FORCEDWRITES");
        if (forced == "0" || forced == "1") dpb.Int(isc_dpb_force_write, forced == "1" ? 1 : 0);
        dpb.Text(isc_dpb_lc_ctype, Key(keys, "CHARSET", "WIN1252"));

        FbStatus st;
        try {
            return std::make_unique<FbConnection>(
                Provider()->attachDatabase(&st, dbname.c_str(), dpb.Length(), dpb.Data()));
        } catch (const Firebird::FbException& e) {
            if (Key(keys, "CREATEDB") != "1" || !HasErrorCode(e, isc_io_error)) throw;
        }
        // Created without a connection character set (a server refuses
        // WIN1252 there before the new database knows it), then attached anew.
        Dpb create;
        fill(create);
        create.Int(isc_dpb_page_size, 8192);
        create.Text(isc_dpb_set_db_charset, "WIN1252");
        create.Int(isc_dpb_sql_dialect, SQL_DIALECT_V6);
        FbConnection(Provider()->createDatabase(&st, dbname.c_str(), create.Length(),
                                                create.Data()));  // detached at once
        return std::make_unique<FbConnection>(
            Provider()->attachDatabase(&st, dbname.c_str(), dpb.Length(), dpb.Data()));
    } catch (const Firebird::FbException& e) {
        throw ToDriverError(e, "08001");
    }
}

}  // namespace fbdrv

namespace odbcdrv {

Backend& TheBackend() {
    static fbdrv::FbBackend backend;
    return backend;
}

}  // namespace odbcdrv
