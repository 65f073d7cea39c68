#include "firebird/FbParamMessage.h"

#include <algorithm>
#include <cstring>

#include "firebird/FbTypes.h"

namespace fbdrv {

using odbcdrv::Value;

namespace {

// The longest value of a VARCHAR in a message; longer ones go as blobs.
constexpr size_t kMaxVarying = 32765;

template <class T>
struct Released {
    T* p;
    ~Released() {
        if (p) p->release();
    }
};

ISC_DATE EncodeDate(const SQL_TIMESTAMP_STRUCT& ts) {
    return Util()->encodeDate(static_cast<unsigned>(ts.year), ts.month, ts.day);
}

ISC_TIME EncodeTime(const SQL_TIMESTAMP_STRUCT& ts) {
    // The engine keeps times in 1/10000 s; the value has nanoseconds.
    return Util()->encodeTime(ts.hour, ts.minute, ts.second, ts.fraction / 100000u);
}

bool Long(const Value& v) {
    return (v.kind == Value::Kind::Text || v.kind == Value::Kind::Binary) &&
           v.s.size() > kMaxVarying;
}

}  // namespace

FbParamMessage::FbParamMessage(Firebird::IAttachment* att, Firebird::ITransaction* tx,
                               Firebird::IMessageMetadata* described,
                               const std::vector<Value>& values) {
    FbStatus st;
    const unsigned count = described->getCount(&st);
    Released<Firebird::IMetadataBuilder> builder{described->getBuilder(&st)};
    for (unsigned i = 0; i < count; ++i) {
        const Value& v = values.at(i);
        const unsigned expected = described->getType(&st, i) & ~1u;
        const bool expectsText = expected == fbtype::kVarying || expected == fbtype::kText;
        auto set = [&](unsigned type, unsigned length, int subType = 0) {
            builder.p->setType(&st, i, type | 1u);  // every marker may take a null
            builder.p->setLength(&st, i, length);
            builder.p->setSubType(&st, i, subType);
            builder.p->setScale(&st, i, 0);
        };
        switch (v.kind) {
            case Value::Kind::Null:
                builder.p->setType(&st, i, described->getType(&st, i) | 1u);
                break;
            case Value::Kind::Int:
                if (expected == fbtype::kBoolean)
                    set(fbtype::kBoolean, 1);
                else
                    set(fbtype::kInt64, sizeof(ISC_INT64));
                break;
            case Value::Kind::Double:
                set(fbtype::kDouble, sizeof(double));
                break;
            case Value::Kind::Text:
            case Value::Kind::Decimal:
            case Value::Kind::Binary: {
                const bool bytes = v.kind == Value::Kind::Binary ||
                                   (expectsText && described->getCharSet(&st, i) == kOctets);
                if (Long(v)) {
                    set(fbtype::kBlob, sizeof(ISC_QUAD), bytes ? 0 : isc_blob_text);
                } else {
                    set(fbtype::kVarying, static_cast<unsigned>(std::max<size_t>(v.s.size(), 1)));
                    builder.p->setCharSet(&st, i, bytes ? kOctets : kWin1252);
                }
                break;
            }
            case Value::Kind::Date:
                set(fbtype::kDate, sizeof(ISC_DATE));
                break;
            case Value::Kind::Time:
                set(fbtype::kTime, sizeof(ISC_TIME));
                break;
            case Value::Kind::Timestamp:
                set(fbtype::kTimestamp, sizeof(ISC_TIMESTAMP));
                break;
        }
    }
    meta_ = builder.p->getMetadata(&st);
    buffer_.assign(meta_->getMessageLength(&st), 0);
    for (unsigned i = 0; i < count; ++i) {
        const Value& v = values[i];
        unsigned char* p = buffer_.data() + meta_->getOffset(&st, i);
        const int16_t nullFlag = v.IsNull() ? -1 : 0;
        std::memcpy(buffer_.data() + meta_->getNullOffset(&st, i), &nullFlag, sizeof nullFlag);
        switch (v.kind) {
            case Value::Kind::Null:
                break;
            case Value::Kind::Int:
                if ((meta_->getType(&st, i) & ~1u) == fbtype::kBoolean) {
                    *p = v.i ? 1 : 0;
                } else {
                    const ISC_INT64 x = v.i;
                    std::memcpy(p, &x, sizeof x);
                }
                break;
            case Value::Kind::Double:
                std::memcpy(p, &v.d, sizeof v.d);
                break;
            case Value::Kind::Text:
            case Value::Kind::Decimal:
            case Value::Kind::Binary:
                if (Long(v)) {
                    ISC_QUAD id{};
                    Firebird::IBlob* blob = att->createBlob(&st, tx, &id, 0, nullptr);
                    try {
                        constexpr size_t kSegment = 32768;
                        for (size_t at = 0; at < v.s.size(); at += kSegment) {
                            const size_t part = std::min(kSegment, v.s.size() - at);
                            blob->putSegment(&st, static_cast<unsigned>(part), v.s.data() + at);
                        }
                        blob->close(&st);
                    } catch (...) {
                        blob->release();
                        throw;
                    }
                    std::memcpy(p, &id, sizeof id);
                } else {
                    const auto len = static_cast<ISC_USHORT>(v.s.size());
                    std::memcpy(p, &len, sizeof len);
                    std::memcpy(p + sizeof len, v.s.data(), v.s.size());
                }
                break;
            case Value::Kind::Date: {
                const ISC_DATE d = EncodeDate(v.ts);
                std::memcpy(p, &d, sizeof d);
                break;
            }
            case Value::Kind::Time: {
                const ISC_TIME t = EncodeTime(v.ts);
                std::memcpy(p, &t, sizeof t);
                break;
            }
            case Value::Kind::Timestamp: {
                ISC_TIMESTAMP ts{EncodeDate(v.ts), EncodeTime(v.ts)};
                std::memcpy(p, &ts, sizeof ts);
                break;
            }
        }
    }
}

FbParamMessage::~FbParamMessage() {
    if (meta_) meta_->release();
}

}  // namespace fbdrv
