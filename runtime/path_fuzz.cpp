// The path splitting against its contracts in path.h.
#include "runtime/fuzz_check.h"
#include "runtime/path.h"

#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string path(reinterpret_cast<const char*>(data), size);
    std::string folder = PathDirectory(path);
    std::string name = PathFileName(path);
    std::string extension = PathExtension(path);
    for (const std::string& part : {folder, name, extension})
        FUZZ_CHECK(part.find('"') == std::string::npos);
    if (path.find('"') != std::string::npos)
        return 0;

    // Without quotes: the folder and the name are the whole path, split at
    // its last backslash; the extension follows the name's last dot.
    FUZZ_CHECK(folder + name == path);
    FUZZ_CHECK(folder.empty() || folder.back() == '\\');
    FUZZ_CHECK(name.find('\\') == std::string::npos);
    size_t dot = name.rfind('.');
    FUZZ_CHECK(extension == (dot == std::string::npos ? "" : name.substr(dot + 1)));

    // Quotes around the path change nothing.
    std::string quoted = '"' + path + '"';
    FUZZ_CHECK(PathDirectory(quoted) == folder);
    FUZZ_CHECK(PathFileName(quoted) == name);
    FUZZ_CHECK(PathExtension(quoted) == extension);
    return 0;
}
