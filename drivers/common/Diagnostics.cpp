#include "common/Diagnostics.h"

#include "common/SqlStates.h"

namespace odbcdrv {

void Diagnostics::Clear() {
    records_.clear();
    handedOut_ = 0;
    lastReturn = SQL_SUCCESS;
    rowCount = 0;
}

void Diagnostics::Add(const std::string& sqlstate, const std::string& message, SQLINTEGER native) {
    records_.push_back({sqlstate, message.empty() ? StateText(sqlstate.c_str()) : message, native});
}

const DiagRecord* Diagnostics::NextForSQLError() {
    if (handedOut_ >= records_.size()) return nullptr;
    return &records_[handedOut_++];
}

}  // namespace odbcdrv
