#include "archive/export/PatientRecord.h"

std::string PatientRecord::Master(const std::string& label) const {
    for (const PatientInfoLine& line : masterData)
        if (line.label == label) return line.value;
    return {};
}

int64_t PatientRecord::Rows() const {
    int64_t rows = 0;
    for (const RecordTable& t : tables) rows += int64_t(t.rows.size());
    return rows;
}
