// The schema scripts, embedded by the build (generated SchemaText.cpp).
#pragma once

#include <string>

// Text of schema/<name>.sql in code page 1252, or null for an unknown name.
const char* SchemaText(const std::string& name);
