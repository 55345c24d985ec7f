// The parts of a file path that messages and records name. Folders are separated by '/'.
#pragma once

#include <string>

namespace loamer {

// The name and extension without the folder: "/data/PROBE A.cal" gives "PROBE A.cal".
inline std::string FileNameOfPath(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The name without folder and extension (from the last dot on): "PROBE A.cal" gives "PROBE A",
// ".cal" gives "".
inline std::string BaseNameOfPath(const std::string& path) {
    const std::string file = FileNameOfPath(path);
    return file.substr(0, file.rfind('.'));
}

}  // namespace loamer
