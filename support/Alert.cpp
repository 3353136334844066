#include "support/Alert.h"

#include "support/Platform.h"
#include "support/Plist.h"

#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>

namespace {

using Table = std::map<std::string, std::string, std::less<>>;

// Tables are loaded once per language and folder and then only read.
struct Lookup {
    std::mutex mutex;
    std::optional<std::string> language;
    std::optional<std::string> folder;
    std::map<std::string, std::string, std::less<>> info;
    std::map<std::string, std::shared_ptr<const Table>, std::less<>> tables;

    std::string currentLanguage() const { return language ? *language : support::localeLanguage(); }

    std::string currentFolder() const {
        if (folder)
            return *folder;
        if (const char* env = std::getenv("MUXCONSOLE_STRINGS"); env && *env)
            return env;
        std::filesystem::path exe = support::executablePath();
        if (exe.empty())
            return {};
        return (exe.parent_path().parent_path() / "share" / "muxconsole" / "strings").string();
    }

    const Table& table(const std::string& lang) {
        auto found = tables.find(lang);
        if (found != tables.end())
            return *found->second;
        auto loaded = std::make_shared<Table>();
        std::string folderPath = currentFolder();
        if (!folderPath.empty() && lang.find('/') == std::string::npos) {
            if (auto bytes = support::readFile(folderPath + "/" + lang + ".plist", 4 << 20)) {
                if (auto root = support::parsePlist(*bytes);
                    root && root->kind() == support::PlistKind::Dictionary)
                    *loaded = support::stringEntries(root->get());
            }
        }
        return *tables.emplace(lang, std::move(loaded)).first->second;
    }
};

Lookup& lookup() {
    static Lookup instance;
    return instance;
}

std::string baseLanguage(const std::string& lang) {
    // "pt-BR" or "pt_BR" reads the "pt" table when there is no table of its own.
    size_t cut = lang.find_first_of("-_");
    return cut == std::string::npos ? lang : lang.substr(0, cut);
}

} // namespace

std::string Alert::localizedStringWithKey(const std::string& key) {
    Lookup& l = lookup();
    std::lock_guard lock(l.mutex);
    if (auto info = l.info.find(key); info != l.info.end())
        return info->second;
    std::string lang = l.currentLanguage();
    for (const std::string& candidate : {lang, baseLanguage(lang), std::string("en")}) {
        const Table& table = l.table(candidate);
        if (auto entry = table.find(key); entry != table.end())
            return entry->second;
    }
    return key;
}

void Alert::setLanguage(const std::string& language) {
    Lookup& l = lookup();
    std::lock_guard lock(l.mutex);
    if (language.empty())
        l.language.reset();
    else
        l.language = language;
}

std::string Alert::language() {
    Lookup& l = lookup();
    std::lock_guard lock(l.mutex);
    return l.currentLanguage();
}

void Alert::setTableFolder(const std::string& folder) {
    Lookup& l = lookup();
    std::lock_guard lock(l.mutex);
    if (folder.empty())
        l.folder.reset();
    else
        l.folder = folder;
    l.tables.clear();
}

std::string Alert::tableFolder() {
    Lookup& l = lookup();
    std::lock_guard lock(l.mutex);
    return l.currentFolder();
}

void Alert::setInfoValue(const std::string& key, const std::string& text) {
    Lookup& l = lookup();
    std::lock_guard lock(l.mutex);
    l.info[key] = text;
}

std::string Alert::localizedStringWithKey(const std::string& key, const std::vector<std::string>& values) {
    const std::string text = localizedStringWithKey(key);
    std::string filled;
    for (size_t i = 0; i < text.size(); ++i) {
        const size_t n = i + 1 < text.size() ? static_cast<size_t>(text[i + 1] - '0') : 0;
        if (text[i] == '%' && n >= 1 && n <= 9 && n <= values.size()) {
            filled += values[n - 1];
            ++i;
        } else {
            filled += text[i];
        }
    }
    return filled;
}

void Alert::removeInfoValue(const std::string& key) {
    Lookup& l = lookup();
    std::lock_guard lock(l.mutex);
    l.info.erase(key);
}
