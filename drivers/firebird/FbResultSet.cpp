#include "firebird/FbResultSet.h"

namespace fbdrv {

FbResultSet::FbResultSet(Firebird::IAttachment* attachment, Firebird::IStatement* statement,
                         bool ownsStatement, Firebird::IResultSet* cursor,
                         Firebird::IMessageMetadata* meta, Firebird::ITransaction* tx,
                         bool ownsTransaction, const FbRowReader::PrecisionLookup* precision)
    : statement_(statement),
      ownsStatement_(ownsStatement),
      cursor_(cursor),
      meta_(meta),
      tx_(tx),
      ownsTransaction_(ownsTransaction),
      reader_(attachment, meta, precision),
      buffer_(reader_.MessageLength()) {}

FbResultSet::~FbResultSet() {
    // Closing a read cursor cannot lose work; failures here only release.
    try {
        FbStatus st;
        cursor_->close(&st);
    } catch (const Firebird::FbException&) {
        cursor_->release();
    }
    if (ownsStatement_) {
        try {
            FbStatus st;
            statement_->free(&st);
        } catch (const Firebird::FbException&) {
            statement_->release();
        }
    }
    meta_->release();
    if (ownsTransaction_) {
        try {
            FbStatus st;
            tx_->commit(&st);
        } catch (const Firebird::FbException&) {
            try {
                FbStatus st;
                tx_->rollback(&st);
            } catch (const Firebird::FbException&) {
                tx_->release();
            }
        }
    }
}

bool FbResultSet::Next(std::vector<odbcdrv::Value>& row) {
    if (atEnd_) return false;
    try {
        FbStatus st;
        if (cursor_->fetchNext(&st, buffer_.data()) != Firebird::IStatus::RESULT_OK) {
            atEnd_ = true;
            return false;
        }
        reader_.Decode(buffer_.data(), tx_, row);
        return true;
    } catch (const Firebird::FbException& e) {
        throw ToDriverError(e);
    }
}

}  // namespace fbdrv
