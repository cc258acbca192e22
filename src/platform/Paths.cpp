#include "platform/Paths.h"

namespace paths {

std::string Join(const std::string& folder, const std::string& name) {
    if (folder.empty()) return name;
    return folder.back() == '/' ? folder + name : folder + "/" + name;
}

std::string LastComponent(const std::string& path) {
    const size_t end = path.find_last_not_of('/');
    if (end == std::string::npos) return std::string();  // "" or only slashes
    const size_t slash = path.find_last_of('/', end);
    const size_t begin = slash == std::string::npos ? 0 : slash + 1;
    return path.substr(begin, end + 1 - begin);
}

std::string Folder(const std::string& path) {
    const size_t end = path.find_last_not_of('/');
    const size_t slash = end == std::string::npos ? end : path.find_last_of('/', end);
    if (slash == std::string::npos) return std::string();
    const size_t parentEnd = path.find_last_not_of('/', slash);
    return parentEnd == std::string::npos ? "/" : path.substr(0, parentEnd + 1);
}

}  // namespace paths
