// The reader of "log.save", a file in the practice's shared data folder that
// any workstation can write. Whatever it takes back is an audit insert, and
// writing those out again and reading them gives the same statements.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "users/AuditFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string content(reinterpret_cast<const char*>(data), size);
    std::vector<std::string> refused;
    const std::vector<std::string> taken = AuditFile::Decode(content, &refused);
    for (const std::string& sql : taken)
        if (!AuditFile::IsAuditInsert(sql) || sql.rfind(AuditFile::kInsertStart, 0) != 0 ||
            sql.size() < 2 || sql.compare(sql.size() - 2, 2, "')") != 0)
            std::abort();
    if (AuditFile::Decode(AuditFile::Encode(taken), nullptr) != taken) std::abort();
    return 0;
}
