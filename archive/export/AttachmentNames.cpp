#include "archive/export/AttachmentNames.h"

#include <cctype>
#include <cstring>
#include <set>

#include "archive/export/ValueText.h"

namespace {

// Letters of ASCII, digits, '-' and '_' stay; anything else of a key's text
// becomes '_', so that the name is one safe file name on every system.
std::string SafePart(const std::string& text) {
    std::string out;
    for (unsigned char c : text)
        out += std::isalnum(c) && c < 0x80 ? char(c) : (c == '-' ? '-' : '_');
    return out.empty() ? "_" : out;
}

const char* Extension(const std::string& bytes) {
    auto starts = [&](const char* magic, size_t n) {
        return bytes.size() >= n && std::memcmp(bytes.data(), magic, n) == 0;
    };
    if (starts("%PDF-", 5)) return ".pdf";
    if (starts("\xFF\xD8\xFF", 3)) return ".jpg";
    if (starts("\x89PNG\r\n\x1A\n", 8)) return ".png";
    if (starts("GIF87a", 6) || starts("GIF89a", 6)) return ".gif";
    if (starts("II*\0", 4) || starts("MM\0*", 4)) return ".tif";
    return ".bin";
}

}  // namespace

AttachmentNames::AttachmentNames(const PatientRecord& record) {
    std::set<std::string> taken;
    for (size_t t = 0; t < record.tables.size(); ++t) {
        const RecordTable& table = record.tables[t];
        for (size_t r = 0; r < table.rows.size(); ++r) {
            const std::vector<RecordValue>& row = table.rows[r];
            std::string key;
            for (size_t k : table.key)
                key += (key.empty() ? "" : "-") + SafePart(IsoValueText(row[k]));
            if (key.empty()) key = "zeile" + std::to_string(r + 1);
            for (size_t c = 0; c < row.size(); ++c) {
                if (row[c].kind != ValueKind::Binary) continue;
                const std::string stem = std::string(kFolder) + "/" + SafePart(table.table) + "." +
                                         SafePart(table.columns[c].name) + "." + key;
                const char* extension = Extension(row[c].text);
                std::string name = stem + extension;
                // A key that two rows share (a key the catalog names but the
                // rows do not keep) is told apart by the row's place.
                if (!taken.insert(name).second) {
                    name = stem + "-zeile" + std::to_string(r + 1) + extension;
                    taken.insert(name);
                }
                names_[{t, r, c}] = name;
            }
        }
    }
}

const std::string* AttachmentNames::Name(size_t table, size_t row, size_t column) const {
    const auto it = names_.find({table, row, column});
    return it == names_.end() ? nullptr : &it->second;
}
