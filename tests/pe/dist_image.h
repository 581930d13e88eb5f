// The built Windows files in dist/<arch>/, loaded for the checks.
#pragma once

#include <string>
#include <vector>

#include "pe_file.h"
#include "pe_resources.h"

namespace kvpe {

struct DistImage {
    std::string path;
    PeFile pe;
    std::vector<Resource> resources;
    std::vector<ImportedDll> imports;
};

// arch is "win32" or "win64". A missing file is an error that says how to build it.
bool LoadDistImage(const std::string& arch, const std::string& file, DistImage* out, std::string* error);
// The same for a program that is built but not shipped: build/<arch>/<file>,
// file being a path inside the build tree ("tool/korvane-sim.exe").
bool LoadBuiltImage(const std::string& arch, const std::string& file, DistImage* out, std::string* error);

// The imported DLLs that a plain Windows PC does not have: the mingw runtimes.
std::vector<std::string> MingwRuntimeImports(const std::vector<ImportedDll>& imports);

// One line per DLL: "kernel32.dll: CloseHandle CreateFileA ...".
std::string DescribeImports(const std::vector<ImportedDll>& imports);

const ImportedDll* FindImport(const std::vector<ImportedDll>& imports, const std::string& dll);

std::string Lower(std::string text);

}  // namespace kvpe
