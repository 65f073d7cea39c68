// Describes the columns of an engine output message and decodes one message
// buffer into Values (blobs read whole through the attachment).
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "firebird/FbApi.h"

namespace fbdrv {

class FbRowReader {
  public:
    // The precision of a NUMERIC or DECIMAL table column, 0 when unknown.
    using PrecisionLookup =
        std::function<SQLULEN(const std::string& table, const std::string& column)>;
    // With `precision`, a scaled column read from a table reports the
    // precision the table declares, as the catalog does; others report the
    // most digits their storage holds.
    FbRowReader(Firebird::IAttachment* attachment, Firebird::IMessageMetadata* meta,
                const PrecisionLookup* precision = nullptr);
    const std::vector<odbcdrv::ColumnInfo>& Columns() const { return columns_; }
    unsigned MessageLength() const { return messageLength_; }
    void Decode(const unsigned char* buffer, Firebird::ITransaction* tx,
                std::vector<odbcdrv::Value>& row);

  private:
    struct Field {
        unsigned type;
        int subType;
        int scale;
        unsigned length;
        unsigned offset;
        unsigned nullOffset;
        unsigned charSet;
    };
    odbcdrv::Value ReadBlob(const ISC_QUAD& id, Firebird::ITransaction* tx, bool text);

    Firebird::IAttachment* attachment_;
    std::vector<Field> fields_;
    std::vector<odbcdrv::ColumnInfo> columns_;
    unsigned messageLength_ = 0;
};

}  // namespace fbdrv
