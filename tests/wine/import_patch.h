// Replacing entries of a loaded module's import address table, so that the
// module's calls of an imported function land in a function of our own.
#pragma once

#include <windows.h>

// Points the import of `function` from `dll` (matched without regard to case)
// in `module` at `replacement`. Returns the address the entry held before, or
// null when the module does not import that function by name.
void* replaceImport(HMODULE module, const char* dll, const char* function, void* replacement);
