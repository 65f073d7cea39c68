#include "db/OdbcResult.h"

#include "core/WindowServices.h"

void ShowInvalidHandle() {
    ShowError("Invalid Handle");
}

bool SqlExecuted(SQLRETURN rc) {
    switch (rc) {
        case SQL_SUCCESS:
        case SQL_SUCCESS_WITH_INFO:
        case SQL_NO_DATA:
            return true;
        case SQL_INVALID_HANDLE:
            ShowInvalidHandle();
            return false;
        default:
            return false;
    }
}
