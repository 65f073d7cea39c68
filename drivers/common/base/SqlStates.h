// The SQLSTATEs the drivers raise themselves, with their standard texts.
#pragma once

#include <string>

namespace odbcdrv {

namespace state {
inline constexpr const char* kGeneralWarning = "01000";
inline constexpr const char* kTruncated = "01004";
inline constexpr const char* kOptionChanged = "01S02";
inline constexpr const char* kFractionalTruncation = "01S07";
inline constexpr const char* kNotConnected = "08003";
inline constexpr const char* kConnectionInUse = "08002";
inline constexpr const char* kUnableToConnect = "08001";
inline constexpr const char* kCountFieldIncorrect = "07002";
inline constexpr const char* kRestrictedType = "07006";
inline constexpr const char* kInvalidDescriptorIndex = "07009";
inline constexpr const char* kRightTruncated = "22001";
inline constexpr const char* kOutOfRange = "22003";
inline constexpr const char* kIndicatorRequired = "22002";
inline constexpr const char* kInvalidDatetime = "22007";
inline constexpr const char* kDatetimeOverflow = "22008";
inline constexpr const char* kInvalidCharValue = "22018";
inline constexpr const char* kInvalidCursorState = "24000";
inline constexpr const char* kTransactionState = "25000";
inline constexpr const char* kSyntaxError = "42000";
inline constexpr const char* kGeneralError = "HY000";
inline constexpr const char* kMemory = "HY001";
inline constexpr const char* kInvalidCType = "HY003";
inline constexpr const char* kInvalidSqlType = "HY004";
inline constexpr const char* kCancelled = "HY008";
inline constexpr const char* kInvalidNullPointer = "HY009";
inline constexpr const char* kSequenceError = "HY010";
inline constexpr const char* kInvalidBufferLength = "HY090";
inline constexpr const char* kInvalidDescriptorField = "HY091";
inline constexpr const char* kInvalidAttribute = "HY092";
inline constexpr const char* kInvalidInfoType = "HY096";
inline constexpr const char* kInvalidValue = "HY024";
inline constexpr const char* kInvalidTransactionOp = "HY012";
inline constexpr const char* kInvalidCursorPosition = "HY109";
inline constexpr const char* kRowOutOfRange = "HY107";
inline constexpr const char* kInvalidBookmark = "HY111";
inline constexpr const char* kFetchTypeOutOfRange = "HY106";
inline constexpr const char* kPiecesOfFixedData = "HY019";
inline constexpr const char* kNotImplemented = "HYC00";
inline constexpr const char* kLoginTimeout = "HYT00";
inline constexpr const char* kTimeout = "HYT00";
}  // namespace state

// Standard text of a SQLSTATE, or "General error" for one not in the table.
const char* StateText(const char* sqlstate);

// Throws DriverError with the state and its standard text, followed by
// ": detail" when one is given.
[[noreturn]] void Refuse(const char* sqlstate, const std::string& detail = {});

}  // namespace odbcdrv
