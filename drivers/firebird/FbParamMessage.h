// The input message of a statement execution: one value per parameter
// marker, each in the message type that carries it without loss (whole
// numbers as BIGINT, text as VARCHAR in the connection's character set or
// as a text blob when it is longer than a VARCHAR, dates and times as
// themselves). The engine converts each to the type the statement expects
// for the marker, with its own checks and errors.
#pragma once

#include <vector>

#include "firebird/FbApi.h"

namespace fbdrv {

class FbParamMessage {
  public:
    // `described`: what the engine expects (the statement's input metadata);
    // `values`: one per marker. Blobs are written in tx. Throws on engine errors.
    FbParamMessage(Firebird::IAttachment* att, Firebird::ITransaction* tx,
                   Firebird::IMessageMetadata* described,
                   const std::vector<odbcdrv::Value>& values);
    ~FbParamMessage();
    FbParamMessage(const FbParamMessage&) = delete;
    FbParamMessage& operator=(const FbParamMessage&) = delete;

    Firebird::IMessageMetadata* Metadata() const { return meta_; }
    unsigned char* Buffer() { return buffer_.empty() ? nullptr : buffer_.data(); }

  private:
    Firebird::IMessageMetadata* meta_ = nullptr;
    std::vector<unsigned char> buffer_;
};

}  // namespace fbdrv
