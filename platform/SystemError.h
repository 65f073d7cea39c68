// The reason of a failed file operation in the words of the progress log:
// "keine Berechtigung", "Datenträger voll", ...; for an error without a
// German text, the system's own message.
#pragma once

#include <string>

std::string SystemErrorText(int error);
