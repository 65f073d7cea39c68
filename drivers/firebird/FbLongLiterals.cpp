#include "firebird/FbLongLiterals.h"

#include <cstring>

namespace fbdrv {

namespace {

// Releases an interface on every path.
template <class T>
struct Released {
    T* p;
    ~Released() {
        if (p) p->release();
    }
};

}  // namespace

FbLongLiterals::FbLongLiterals(const std::string& sql) {
    const size_t n = sql.size();
    size_t copied = 0;
    for (size_t i = 0; i < n;) {
        const char c = sql[i];
        if (c == '-' && i + 1 < n && sql[i + 1] == '-') {
            const size_t end = sql.find('\n', i);
            i = end == std::string::npos ? n : end;
        } else if (c == '/' && i + 1 < n && sql[i + 1] == '*') {
            const size_t end = sql.find("*/", i + 2);
            i = end == std::string::npos ? n : end + 2;
        } else if (c == '"') {
            const size_t end = sql.find('"', i + 1);
            i = end == std::string::npos ? n : end + 1;
        } else if (c == '\'') {
            std::string value;
            size_t j = i + 1;
            while (j < n) {
                if (sql[j] == '\'') {
                    if (j + 1 < n && sql[j + 1] == '\'') {
                        value += '\'';
                        j += 2;
                        continue;
                    }
                    break;
                }
                value += sql[j++];
            }
            if (j >= n) break;  // unterminated: the engine reports it
            if (value.size() > kMaxLiteralBytes) {
                sql_.append(sql, copied, i - copied);
                sql_ += '?';
                copied = j + 1;
                values_.push_back(std::move(value));
            }
            i = j + 1;
        } else {
            ++i;
        }
    }
    if (values_.empty())
        sql_.clear();
    else
        sql_.append(sql, copied, std::string::npos);
}

FbLongLiterals::~FbLongLiterals() {
    if (meta_) meta_->release();
}

void FbLongLiterals::Bind(Firebird::IAttachment* att, Firebird::IStatement* stmt,
                          Firebird::ITransaction* tx) {
    FbStatus st;
    Released<Firebird::IMessageMetadata> described{stmt->getInputMetadata(&st)};
    const unsigned count = described.p->getCount(&st);
    if (count != values_.size())
        throw odbcdrv::DriverError("07002",
                                   "The statement has parameter markers, but no parameters are "
                                   "bound.");
    // The engine converts the blobs to whatever the statement asks for.
    Released<Firebird::IMetadataBuilder> builder{described.p->getBuilder(&st)};
    for (unsigned i = 0; i < count; ++i) {
        builder.p->setType(&st, i, SQL_BLOB + 1);
        builder.p->setSubType(&st, i, isc_blob_text);
        builder.p->setLength(&st, i, sizeof(ISC_QUAD));
        builder.p->setScale(&st, i, 0);
    }
    meta_ = builder.p->getMetadata(&st);
    buffer_.assign(meta_->getMessageLength(&st), 0);
    for (unsigned i = 0; i < count; ++i) {
        ISC_QUAD id{};
        Firebird::IBlob* blob = att->createBlob(&st, tx, &id, 0, nullptr);
        try {
            const std::string& value = values_[i];
            constexpr size_t kSegment = 32768;
            for (size_t at = 0; at < value.size(); at += kSegment) {
                const size_t part = std::min(kSegment, value.size() - at);
                blob->putSegment(&st, static_cast<unsigned>(part), value.data() + at);
            }
            blob->close(&st);
        } catch (...) {
            blob->release();
            throw;
        }
        std::memcpy(buffer_.data() + meta_->getOffset(&st, i), &id, sizeof id);
        const int16_t notNull = 0;
        std::memcpy(buffer_.data() + meta_->getNullOffset(&st, i), &notNull, sizeof notNull);
    }
}

}  // namespace fbdrv
