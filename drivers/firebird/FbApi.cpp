#include "firebird/FbApi.h"

#include <vector>

#include "drivers/common/values/Datetime.h"

namespace fbdrv {

Firebird::IMaster* Master() {
    static Firebird::IMaster* master = Firebird::fb_get_master_interface();
    return master;
}

Firebird::IUtil* Util() {
    static Firebird::IUtil* util = Master()->getUtilInterface();
    return util;
}

Firebird::IProvider* Provider() {
    // Kept for the life of the process: attachments made through it may
    // outlive any one connection handle.
    static Firebird::IProvider* provider = Master()->getDispatcher();
    return provider;
}

odbcdrv::DriverError ToDriverError(const Firebird::FbException& e, const char* fallbackState) {
    Firebird::IStatus* status = e.getStatus();
    std::vector<char> buf(16384);
    unsigned n = Util()->formatStatus(buf.data(), static_cast<unsigned>(buf.size()), status);
    std::string text(buf.data(), n < buf.size() ? n : buf.size() - 1);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\0')) text.pop_back();

    std::string sqlstate;
    SQLINTEGER native = 0;
    bool readOnly = false;
    const intptr_t* v = status->getErrors();
    while (v && *v != isc_arg_end) {
        intptr_t kind = v[0];
        if (kind == isc_arg_gds && native == 0) native = static_cast<SQLINTEGER>(v[1]);
        if (kind == isc_arg_gds && v[1] == isc_read_only_trans) readOnly = true;
        if (kind == isc_arg_sql_state && sqlstate.empty())
            sqlstate = reinterpret_cast<const char*>(v[1]);
        v += kind == isc_arg_cstring ? 3 : 2;
    }
    if (sqlstate.size() != 5) {
        char engineState[6] = {};
        fb_sqlstate(engineState, status->getErrors());
        sqlstate = engineState;
    }
    if (sqlstate.size() != 5 || sqlstate == "HY000") sqlstate = fallbackState;
    if (text.empty()) text = "Unknown Firebird error";
    // A change on a read-only connection (SQL_MODE_READ_ONLY), as the
    // standard names it.
    if (readOnly) sqlstate = "25006";
    // Text in the form of a date or time that names none which exists
    // ("2020-02-30") is a datetime field overflow, as ODBC calls it, rather
    // than text that is no value of the type.
    const std::string from = "conversion error from string \"";
    if (native == isc_convert_error && text.compare(0, from.size(), from) == 0) {
        const size_t end = text.find('"', from.size());
        SQL_TIMESTAMP_STRUCT ts{};
        bool hasDate = false, hasTime = false;
        if (end != std::string::npos &&
            odbcdrv::ReadDatetime(text.substr(from.size(), end - from.size()), ts, hasDate,
                                  hasTime) == odbcdrv::DatetimeText::Invalid)
            sqlstate = "22008";
    }
    return odbcdrv::DriverError(sqlstate, text, native);
}

bool HasErrorCode(const Firebird::FbException& e, intptr_t code) {
    const intptr_t* v = e.getStatus()->getErrors();
    while (v && *v != isc_arg_end) {
        if (v[0] == isc_arg_gds && v[1] == code) return true;
        v += v[0] == isc_arg_cstring ? 3 : 2;
    }
    return false;
}

}  // namespace fbdrv
