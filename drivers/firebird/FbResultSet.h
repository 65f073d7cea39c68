// An open engine cursor. With autocommit it owns the transaction it reads
// in, which is committed when the cursor is closed or freed.
#pragma once

#include <memory>
#include <vector>

#include "firebird/FbRowReader.h"

namespace fbdrv {

class FbResultSet : public odbcdrv::ResultSet {
  public:
    // Takes over the cursor, the reference to meta and, when
    // ownsStatement / ownsTransaction, the statement / the transaction.
    FbResultSet(Firebird::IAttachment* attachment, Firebird::IStatement* statement,
                bool ownsStatement, Firebird::IResultSet* cursor, Firebird::IMessageMetadata* meta,
                Firebird::ITransaction* tx, bool ownsTransaction,
                const FbRowReader::PrecisionLookup* precision);
    ~FbResultSet() override;
    const std::vector<odbcdrv::ColumnInfo>& Columns() const override { return reader_.Columns(); }
    bool Next(std::vector<odbcdrv::Value>& row) override;

  private:
    Firebird::IStatement* statement_;
    bool ownsStatement_;
    Firebird::IResultSet* cursor_;
    Firebird::IMessageMetadata* meta_;
    Firebird::ITransaction* tx_;
    bool ownsTransaction_;
    FbRowReader reader_;
    std::vector<unsigned char> buffer_;
    bool atEnd_ = false;
};

}  // namespace fbdrv
