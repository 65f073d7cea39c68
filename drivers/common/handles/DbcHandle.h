// A connection handle: the engine connection behind it, its attributes and
// the answers of SQLGetInfo/SQLGetFunctions.
#pragma once

#include <memory>
#include <mutex>
#include <set>

#include "drivers/common/base/Backend.h"
#include "drivers/common/handles/EnvHandle.h"
#include "drivers/common/values/StringOut.h"

namespace odbcdrv {

class DbcStatement;

class DbcHandle : public Handle {
  public:
    explicit DbcHandle(EnvHandle& env);
    ~DbcHandle() override;

    // `form` tells whether the application came through the wide functions;
    // the connection then describes text columns with the wide types.
    SQLRETURN DriverConnect(const std::string& in, SQLPOINTER out, SQLSMALLINT outMax,
                            SQLSMALLINT* outLength, TextForm form);
    SQLRETURN Connect(const std::string& dsn, const std::string& uid, const std::string& pwd,
                      TextForm form);
    SQLRETURN Disconnect();
    SQLRETURN SetAttr(SQLINTEGER attribute, SQLPOINTER value, SQLINTEGER length);
    SQLRETURN GetAttr(SQLINTEGER attribute, SQLPOINTER value, SQLINTEGER bufferLength,
                      SQLINTEGER* length, TextForm form = TextForm::Narrow);
    SQLRETURN EndTran(SQLSMALLINT completion);
    SQLRETURN GetInfo(SQLUSMALLINT type, SQLPOINTER value, SQLSMALLINT bufferLength,
                      SQLSMALLINT* length, TextForm form = TextForm::Narrow);
    static SQLRETURN GetFunctions(SQLUSMALLINT function, SQLUSMALLINT* supported);

    bool Connected() const { return conn_ != nullptr; }
    // SQL_ATTR_METADATA_ID as the connection's statements start with it.
    bool MetadataId() const { return metadataId_; }
    bool OpenedWide() const override { return wide_; }
    // Whether text columns and markers are described with the wide types:
    // on connections opened through the wide functions, and on those whose
    // application speaks UTF-8. Clients then read long text as UTF-16, in
    // pieces that never cut a character (LibreOffice decodes each piece of
    // 8-bit text on its own).
    bool DescribesWide() const { return wide_ || charset_.Utf8(); }
    const ClientCharset& Charset() const override { return charset_; }
    Connection& Conn() { return *conn_; }
    std::mutex& Turn() override { return turn_; }

    EnvHandle& env;
    // Changed with the connection's turn held (a statement's allocation and
    // its free), or while nothing can reach the connection any more.
    std::set<DbcStatement*> statements;

  private:
    std::mutex turn_;
    // Connects with the keys of the connection string, completed by those of
    // the data source it names (DSN=). Keys from the narrow functions are in
    // the application's character set, which is chosen here.
    SQLRETURN Open(ConnectKeys keys, TextForm form);
    // A key of the connection, empty when not given.
    std::string Key(const char* name) const;

    std::unique_ptr<Connection> conn_;
    ConnectKeys keys_;
    SQLUINTEGER loginTimeout_ = 0;
    bool autocommit_ = true;
    SQLUINTEGER isolation_ = SQL_TXN_READ_COMMITTED;
    bool readOnly_ = false;
    bool metadataId_ = false;
    SQLUINTEGER connectionTimeout_ = 0;
    bool wide_ = false;
    ClientCharset charset_;
};

}  // namespace odbcdrv
