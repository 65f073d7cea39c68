#include "drivers/access/AccessBackend.h"

#include "drivers/access/AccessConnectParams.h"
#include "drivers/access/AccessConnection.h"
#include "drivers/access/AccessType.h"

namespace accessdrv {

// One row per type name that SQLColumns reports, with the sizes of the types
// of the Access kind (AccessType).
const std::vector<odbcdrv::TypeInfoRow>& AccessBackend::Types() const {
    using odbcdrv::TypeInfoRow;
    static const std::vector<TypeInfoRow> types = [] {
        std::vector<TypeInfoRow> v;
        auto add = [&](AccessType type, const char* prefix, const char* params) {
            TypeInfoRow t;
            t.name = type.TypeName();
            t.sqlType = type.SqlType();
            t.columnSize = static_cast<SQLINTEGER>(type.ColumnSize());
            t.literalPrefix = t.literalSuffix = prefix;
            t.createParams = params;
            t.isUnsigned = type.IsUnsigned();
            t.autoUnique = type.kind() == AccessType::Kind::Counter;
            if (type.IsText())
                t.searchable =
                    type.kind() == AccessType::Kind::Memo ? SQL_PRED_CHAR : SQL_SEARCHABLE;
            if (type.kind() == AccessType::Kind::LongBinary) t.searchable = SQL_PRED_NONE;
            if (type.IsInteger() && type.kind() != AccessType::Kind::Bit)
                t.minimumScale = t.maximumScale = 0;
            v.push_back(t);
        };
        using K = AccessType::Kind;
        add(AccessType(K::Text, 255), "'", "max length");
        add(AccessType(K::Char, 255), "'", "max length");
        add(AccessType(K::Memo), "'", nullptr);
        add(AccessType(K::Long), nullptr, nullptr);
        add(AccessType(K::Counter), nullptr, nullptr);
        add(AccessType(K::Short), nullptr, nullptr);
        add(AccessType(K::Byte), nullptr, nullptr);
        add(AccessType(K::Bit), nullptr, nullptr);
        add(AccessType(K::Double), nullptr, nullptr);
        add(AccessType(K::Single), nullptr, nullptr);
        add(AccessType(K::DateTime), "#", nullptr);
        add(AccessType(K::Date), "#", nullptr);
        add(AccessType(K::Time), "#", nullptr);
        add(AccessType(K::Binary, 255), nullptr, "max length");
        add(AccessType(K::LongBinary), nullptr, nullptr);
        return v;
    }();
    return types;
}

std::unique_ptr<odbcdrv::Connection> AccessBackend::Connect(const odbcdrv::ConnectKeys& keys) {
    return std::make_unique<AccessConnection>(AccessConnectParams::From(keys));
}

}  // namespace accessdrv

namespace odbcdrv {

Backend& TheBackend() {
    static accessdrv::AccessBackend backend;
    return backend;
}

}  // namespace odbcdrv
