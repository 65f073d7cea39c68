#include "firebird/FbRowReader.h"

#include <cstring>

#include "firebird/FbTypes.h"

namespace fbdrv {

using odbcdrv::ColumnInfo;
using odbcdrv::Value;

namespace {

// Exact text of a scaled integer: 12345 with scale -2 is "123.45".
std::string ScaledText(int64_t v, int scale) {
    if (scale >= 0) {
        std::string s = std::to_string(v);
        if (v != 0) s.append(static_cast<size_t>(scale), '0');
        return s;
    }
    bool negative = v < 0;
    uint64_t mag = negative ? 0 - static_cast<uint64_t>(v) : static_cast<uint64_t>(v);
    std::string digits = std::to_string(mag);
    size_t places = static_cast<size_t>(-scale);
    if (digits.size() <= places) digits.insert(0, places - digits.size() + 1, '0');
    digits.insert(digits.size() - places, 1, '.');
    return negative ? "-" + digits : digits;
}

SQL_TIMESTAMP_STRUCT DecodeDate(ISC_DATE d) {
    unsigned y, m, day;
    Util()->decodeDate(d, &y, &m, &day);
    SQL_TIMESTAMP_STRUCT ts{};
    ts.year = static_cast<SQLSMALLINT>(y);
    ts.month = static_cast<SQLUSMALLINT>(m);
    ts.day = static_cast<SQLUSMALLINT>(day);
    return ts;
}

void DecodeTime(ISC_TIME t, SQL_TIMESTAMP_STRUCT& ts) {
    unsigned h, mi, s, frac;
    Util()->decodeTime(t, &h, &mi, &s, &frac);
    ts.hour = static_cast<SQLUSMALLINT>(h);
    ts.minute = static_cast<SQLUSMALLINT>(mi);
    ts.second = static_cast<SQLUSMALLINT>(s);
    ts.fraction = frac * 100000u;  // engine fractions are 1/10000 s
}

}  // namespace

FbRowReader::FbRowReader(Firebird::IAttachment* attachment, Firebird::IMessageMetadata* meta,
                         const PrecisionLookup* precision)
    : attachment_(attachment) {
    FbStatus st;
    unsigned count = meta->getCount(&st);
    messageLength_ = meta->getMessageLength(&st);
    for (unsigned i = 0; i < count; ++i) {
        Field f{meta->getType(&st, i) & ~1u, meta->getSubType(&st, i), meta->getScale(&st, i),
                meta->getLength(&st, i),     meta->getOffset(&st, i),  meta->getNullOffset(&st, i),
                meta->getCharSet(&st, i)};
        ColumnInfo c;
        const char* alias = meta->getAlias(&st, i);
        c.name = alias && *alias ? alias : meta->getField(&st, i);
        const char* rel = meta->getRelation(&st, i);
        c.tableName = rel ? rel : "";
        const char* field = meta->getField(&st, i);
        c.baseName = field ? field : "";
        c.nullable = meta->isNullable(&st, i) ? SQL_NULLABLE : SQL_NO_NULLS;
        DescribeType(f.type, f.subType, f.scale, f.charSet, f.length, c);
        if ((c.sqlType == SQL_NUMERIC || c.sqlType == SQL_DECIMAL) && precision && *precision &&
            !c.tableName.empty() && !c.baseName.empty())
            if (SQLULEN declared = (*precision)(c.tableName, c.baseName)) c.columnSize = declared;
        fields_.push_back(f);
        columns_.push_back(std::move(c));
    }
}

Value FbRowReader::ReadBlob(const ISC_QUAD& id, Firebird::ITransaction* tx, bool text) {
    FbStatus st;
    ISC_QUAD blobId = id;
    Firebird::IBlob* blob = attachment_->openBlob(&st, tx, &blobId, 0, nullptr);
    std::string data;
    try {
        std::vector<char> chunk(65535);
        for (;;) {
            unsigned got = 0;
            int rc = blob->getSegment(&st, static_cast<unsigned>(chunk.size()), chunk.data(), &got);
            if (rc == Firebird::IStatus::RESULT_NO_DATA) break;
            data.append(chunk.data(), got);
        }
        blob->close(&st);
    } catch (...) {
        blob->release();
        throw;
    }
    return text ? Value::String(std::move(data)) : Value::Bytes(std::move(data));
}

void FbRowReader::Decode(const unsigned char* buf, Firebird::ITransaction* tx,
                         std::vector<Value>& row) {
    row.clear();
    row.reserve(fields_.size());
    for (size_t i = 0; i < fields_.size(); ++i) {
        const Field& f = fields_[i];
        const ColumnInfo& c = columns_[i];
        if (*reinterpret_cast<const ISC_SHORT*>(buf + f.nullOffset)) {
            row.push_back(Value::Null());
            continue;
        }
        const unsigned char* p = buf + f.offset;
        bool scaled = c.sqlType == SQL_NUMERIC || c.sqlType == SQL_DECIMAL;
        switch (f.type) {
            case fbtype::kShort: {
                ISC_SHORT v;
                std::memcpy(&v, p, sizeof v);
                row.push_back(scaled ? Value::String(ScaledText(v, f.scale)) : Value::Integer(v));
                break;
            }
            case fbtype::kLong: {
                ISC_LONG v;
                std::memcpy(&v, p, sizeof v);
                row.push_back(scaled ? Value::String(ScaledText(v, f.scale)) : Value::Integer(v));
                break;
            }
            case fbtype::kInt64: {
                ISC_INT64 v;
                std::memcpy(&v, p, sizeof v);
                row.push_back(scaled ? Value::String(ScaledText(v, f.scale)) : Value::Integer(v));
                break;
            }
            case fbtype::kFloat: {
                float v;
                std::memcpy(&v, p, sizeof v);
                row.push_back(Value::Real(v));
                break;
            }
            case fbtype::kDouble:
            case fbtype::kDFloat: {
                double v;
                std::memcpy(&v, p, sizeof v);
                row.push_back(Value::Real(v));
                break;
            }
            case fbtype::kText: {
                std::string s(reinterpret_cast<const char*>(p), f.length);
                row.push_back(f.charSet == kOctets ? Value::Bytes(std::move(s))
                                                   : Value::String(std::move(s)));
                break;
            }
            case fbtype::kVarying: {
                ISC_USHORT len;
                std::memcpy(&len, p, sizeof len);
                std::string s(reinterpret_cast<const char*>(p + sizeof len), len);
                row.push_back(f.charSet == kOctets ? Value::Bytes(std::move(s))
                                                   : Value::String(std::move(s)));
                break;
            }
            case fbtype::kBlob: {
                ISC_QUAD id;
                std::memcpy(&id, p, sizeof id);
                row.push_back(ReadBlob(id, tx, f.subType == 1));
                break;
            }
            case fbtype::kDate: {
                ISC_DATE d;
                std::memcpy(&d, p, sizeof d);
                Value v;
                v.kind = Value::Kind::Date;
                v.ts = DecodeDate(d);
                row.push_back(v);
                break;
            }
            case fbtype::kTime: {
                ISC_TIME t;
                std::memcpy(&t, p, sizeof t);
                Value v;
                v.kind = Value::Kind::Time;
                DecodeTime(t, v.ts);
                row.push_back(v);
                break;
            }
            case fbtype::kTimestamp: {
                ISC_TIMESTAMP ts;
                std::memcpy(&ts, p, sizeof ts);
                Value v;
                v.kind = Value::Kind::Timestamp;
                v.ts = DecodeDate(ts.timestamp_date);
                DecodeTime(ts.timestamp_time, v.ts);
                row.push_back(v);
                break;
            }
            case fbtype::kBoolean:
                row.push_back(Value::Integer(*p ? 1 : 0));
                break;
            default:
                row.push_back(Value::Null());
        }
    }
}

}  // namespace fbdrv
