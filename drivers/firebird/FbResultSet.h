// An open engine cursor. With autocommit it owns the transaction it reads
// in, which is committed when the cursor is closed or freed.
#pragma once

#include <memory>
#include <vector>

#include "firebird/FbRowReader.h"

namespace fbdrv {

class FbResultSet : public odbcdrv::ResultSet {
  public:
    // Takes over the statement, the cursor and, when ownsTransaction, the
    // transaction.
    FbResultSet(Firebird::IAttachment* attachment, Firebird::IStatement* statement,
                Firebird::IResultSet* cursor, Firebird::IMessageMetadata* meta,
                Firebird::ITransaction* tx, bool ownsTransaction);
    ~FbResultSet() override;
    const std::vector<odbcdrv::ColumnInfo>& Columns() const override { return reader_.Columns(); }
    bool Next(std::vector<odbcdrv::Value>& row) override;

  private:
    Firebird::IStatement* statement_;
    Firebird::IResultSet* cursor_;
    Firebird::IMessageMetadata* meta_;
    Firebird::ITransaction* tx_;
    bool ownsTransaction_;
    FbRowReader reader_;
    std::vector<unsigned char> buffer_;
    bool atEnd_ = false;
};

}  // namespace fbdrv
