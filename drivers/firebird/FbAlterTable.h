// The two ALTER TABLE forms that Tamaro sends to both database kinds and that
// the Firebird engine words differently: "ADD COLUMN c type" (the engine
// knows only "ADD c type") and "ALTER [COLUMN] c type" without the word TYPE.
#pragma once

#include <string>

namespace fbdrv {

// sql with those two forms rewritten into the engine's wording; any other
// statement, and every other part of an ALTER TABLE, is returned unchanged.
std::string AcceptAlterTableForms(const std::string& sql);

}  // namespace fbdrv
