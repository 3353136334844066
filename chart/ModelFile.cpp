#include "chart/ModelFile.h"

#include "support/OSXUtil.h"
#include "support/Platform.h"

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

namespace chart {

namespace {

// Makes the folder and its parents as needed; true when it exists afterwards.
bool makeFolder(const std::string& folder) {
    if (folder.empty())
        return true;
    struct stat info {};
    if (::stat(folder.c_str(), &info) == 0)
        return S_ISDIR(info.st_mode);
    const size_t slash = folder.find_last_of('/');
    if (slash != std::string::npos && slash > 0 && !makeFolder(folder.substr(0, slash)))
        return false;
    return ::mkdir(folder.c_str(), 0700) == 0 || errno == EEXIST;
}

} // namespace

std::optional<std::string> modelFilePath(const std::string& fileName) {
    if (fileName.empty())
        return std::nullopt;
    return OSXUtil::systemPath(OSXUtil::LibraryFolder, fileName);
}

std::optional<support::Plist> parseModelBytes(const std::string& bytes) {
    auto root = support::parsePlist(bytes);
    if (!root || root->kind() != support::PlistKind::Dictionary)
        return std::nullopt;
    return root;
}

std::optional<support::Plist> readModelFile(const std::string& path) {
    const auto bytes = support::readFile(path, maxModelFileBytes);
    if (!bytes)
        return std::nullopt;
    return parseModelBytes(*bytes);
}

bool writeModelFile(const std::string& path, plist_t dictionary) {
    const size_t slash = path.find_last_of('/');
    const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    if (!makeFolder(folder) || ::access(folder.c_str(), W_OK) != 0)
        return false;
    const std::string xml = support::toXml(dictionary);
    if (xml.empty())
        return false;
    return support::writeFileAtomically(path, xml, 0644);
}

void ModelDictionary::add(const std::string& name, support::Plist record) {
    if (!record)
        return;
    std::string key = name;
    for (unsigned n = 2; keys_.count(key) != 0; ++n)
        key = name + " (" + std::to_string(n) + ")";
    keys_.insert(key);
    plist_dict_set_item(root_.get(), key.c_str(), record.release());
}

} // namespace chart
