#include "drivers/common/base/SqlStates.h"

#include <cstring>

#include "drivers/common/base/Backend.h"

namespace odbcdrv {

namespace {
struct Entry {
    const char* state;
    const char* text;
};

constexpr Entry kTable[] = {
    {"01000", "General warning"},
    {"01004", "String data, right truncated"},
    {"01S02", "Option value changed"},
    {"01S07", "Fractional truncation"},
    {"07002", "COUNT field incorrect"},
    {"07006", "Restricted data type attribute violation"},
    {"07009", "Invalid descriptor index"},
    {"08001", "Client unable to establish connection"},
    {"08002", "Connection name in use"},
    {"08003", "Connection not open"},
    {"22001", "String data, right truncated"},
    {"22002", "Indicator variable required but not supplied"},
    {"22003", "Numeric value out of range"},
    {"22007", "Invalid datetime format"},
    {"22008", "Datetime field overflow"},
    {"22012", "Division by zero"},
    {"22018", "Invalid character value for cast"},
    {"22021", "Character not in repertoire"},
    {"24000", "Invalid cursor state"},
    {"25000", "Invalid transaction state"},
    {"42000", "Syntax error or access violation"},
    {"54000", "Program limit exceeded"},
    {"HY000", "General error"},
    {"HY001", "Memory allocation error"},
    {"HY003", "Invalid application buffer type"},
    {"HY004", "Invalid SQL data type"},
    {"HY008", "Operation canceled"},
    {"HY009", "Invalid use of null pointer"},
    {"HY010", "Function sequence error"},
    {"HY012", "Invalid transaction operation code"},
    {"HY019", "Non-character and non-binary data sent in pieces"},
    {"HY024", "Invalid attribute value"},
    {"HY090", "Invalid string or buffer length"},
    {"HY091", "Invalid descriptor field identifier"},
    {"HY092", "Invalid attribute/option identifier"},
    {"HY096", "Invalid information type"},
    {"HY106", "Fetch type out of range"},
    {"HY107", "Row value out of range"},
    {"HY109", "Invalid cursor position"},
    {"HY111", "Invalid bookmark value"},
    {"HYC00", "Optional feature not implemented"},
    {"HYT00", "Timeout expired"},
};
}  // namespace

const char* StateText(const char* sqlstate) {
    for (const Entry& e : kTable)
        if (std::strcmp(e.state, sqlstate) == 0) return e.text;
    return "General error";
}

}  // namespace odbcdrv

namespace odbcdrv {

void Refuse(const char* sqlstate, const std::string& detail) {
    std::string text = StateText(sqlstate);
    if (!detail.empty()) text += ": " + detail;
    throw DriverError(sqlstate, text);
}

}  // namespace odbcdrv
