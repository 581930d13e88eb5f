#include "dist_image.h"

#include <cctype>
#include <fstream>

namespace kvpe {

std::string Lower(std::string text)
{
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

namespace {

bool LoadImageAt(const std::string& arch, DistImage* out, std::string* error)
{
    if (!std::ifstream(out->path, std::ios::binary)) {
        *error = out->path + " is missing: build it with `cmake --preset " + arch + " && cmake --build --preset " +
                 arch + "`";
        return false;
    }
    return out->pe.Load(out->path, error) && ReadResources(out->pe, &out->resources, error) &&
           out->pe.Imports(&out->imports, error);
}

}  // namespace

bool LoadDistImage(const std::string& arch, const std::string& file, DistImage* out, std::string* error)
{
    out->path = std::string(KV_DIST_DIR) + "/" + arch + "/" + file;
    return LoadImageAt(arch, out, error);
}

bool LoadBuiltImage(const std::string& arch, const std::string& file, DistImage* out, std::string* error)
{
    out->path = std::string(KV_BUILD_DIR) + "/" + arch + "/" + file;
    return LoadImageAt(arch, out, error);
}

std::vector<std::string> MingwRuntimeImports(const std::vector<ImportedDll>& imports)
{
    // libstdc++-6.dll, libgcc_s_seh-1.dll / libgcc_s_dw2-1.dll / libgcc_s_sjlj-1.dll,
    // libwinpthread-1.dll, and their kin.
    static const char* const kPrefixes[] = {"libstdc++", "libgcc", "libwinpthread", "libssp", "libatomic",
                                            "libgomp"};
    std::vector<std::string> found;
    for (const ImportedDll& dll : imports) {
        const std::string name = Lower(dll.name);
        for (const char* prefix : kPrefixes) {
            if (name.rfind(prefix, 0) == 0) found.push_back(dll.name);
        }
    }
    return found;
}

std::string DescribeImports(const std::vector<ImportedDll>& imports)
{
    std::string text;
    for (const ImportedDll& dll : imports) {
        text += "  " + dll.name + (dll.delayLoaded ? " (delay-loaded)" : "") + ":";
        for (const std::string& f : dll.functions) text += " " + f;
        text += "\n";
    }
    return text;
}

const ImportedDll* FindImport(const std::vector<ImportedDll>& imports, const std::string& dll)
{
    for (const ImportedDll& d : imports) {
        if (Lower(d.name) == Lower(dll)) return &d;
    }
    return nullptr;
}

}  // namespace kvpe
