#include "support/Settings.h"

#include "support/Platform.h"
#include "support/PlistValue.h"

#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Larger files are not preferences; they are treated as unreadable.
constexpr size_t maxStoreBytes = 64u << 20;

struct Store {
    std::mutex mutex;
    std::optional<std::string> application;
    std::optional<std::string> explicitPath;
    bool loaded = false;
    bool dirty = false;
    bool unreadable = false; // the file exists but could not be read: keep it as .bad when saving
    support::Plist root;
    bool exitHookInstalled = false;

    std::string path() const {
        if (explicitPath)
            return *explicitPath;
        std::string name = application ? *application : std::string();
        if (name.empty()) {
            name = std::filesystem::path(support::executablePath()).filename().string();
            if (name.empty())
                name = "muxconsole";
        }
        std::string folder =
            support::absoluteEnvPath("XDG_CONFIG_HOME").value_or(support::homeFolder() + "/.config");
        return folder + "/" + name + ".plist";
    }

    void load() {
        if (loaded)
            return;
        loaded = true;
        dirty = false;
        unreadable = false;
        root = support::Plist(plist_new_dict());
        std::string file = path();
        struct stat info {};
        if (::stat(file.c_str(), &info) != 0)
            return; // a first run: no file yet
        auto bytes = support::readFile(file, maxStoreBytes);
        std::optional<support::Plist> parsed;
        if (bytes)
            parsed = support::parsePlist(*bytes);
        if (parsed && parsed->kind() == support::PlistKind::Dictionary)
            root = std::move(*parsed);
        else
            unreadable = true;
    }

    // Caller holds the lock.
    bool write() {
        load();
        std::string file = path();
        std::filesystem::path folder = std::filesystem::path(file).parent_path();
        std::error_code error;
        if (!folder.empty())
            std::filesystem::create_directories(folder, error);
        if (unreadable) {
            // Keep the damaged file for the user before it is replaced.
            std::string bad = file + ".bad";
            ::unlink(bad.c_str());
            if (::link(file.c_str(), bad.c_str()) != 0)
                std::filesystem::copy_file(file, bad, std::filesystem::copy_options::overwrite_existing,
                                           error);
        }
        if (!support::writeFileAtomically(file, support::toXml(root.get())))
            return false;
        dirty = false;
        unreadable = false;
        return true;
    }

    void changed() {
        dirty = true;
        if (!exitHookInstalled) {
            exitHookInstalled = true;
            std::atexit(saveAtExit);
        }
    }

    static void saveAtExit();
};

Store& store() {
    // Constructed before the exit hook is registered, so it outlives it.
    static Store instance;
    return instance;
}

void Store::saveAtExit() {
    Store& s = store();
    std::lock_guard lock(s.mutex);
    if (s.loaded && s.dirty)
        s.write();
}

bool matches(const SettingValue& value, Settings::Type expected) {
    switch (expected) {
    case Settings::Type::Text:
        return std::holds_alternative<std::string>(value);
    case Settings::Type::Number:
        return std::holds_alternative<int64_t>(value) || std::holds_alternative<double>(value) ||
               std::holds_alternative<bool>(value);
    case Settings::Type::Boolean:
        return std::holds_alternative<bool>(value);
    case Settings::Type::Date:
        return std::holds_alternative<SettingDate>(value);
    case Settings::Type::Array:
        return std::holds_alternative<SettingArray>(value);
    case Settings::Type::Dictionary:
        return std::holds_alternative<SettingDictionary>(value);
    }
    return false;
}

} // namespace

std::optional<SettingValue> Settings::item(const std::optional<std::string>& key, Type expected) {
    if (!key)
        return std::nullopt;
    Store& s = store();
    std::lock_guard lock(s.mutex);
    s.load();
    auto value = support::toSettingValue(plist_dict_get_item(s.root.get(), key->c_str()));
    if (!value || !matches(*value, expected))
        return std::nullopt;
    return value;
}

std::optional<std::string> Settings::text(const std::string& key) {
    auto value = item(key, Type::Text);
    return value ? std::optional(std::get<std::string>(*value)) : std::nullopt;
}

std::optional<double> Settings::number(const std::string& key) {
    auto value = item(key, Type::Number);
    if (!value)
        return std::nullopt;
    if (auto* b = std::get_if<bool>(&*value))
        return *b ? 1.0 : 0.0;
    if (auto* i = std::get_if<int64_t>(&*value))
        return double(*i);
    return std::get<double>(*value);
}

std::optional<bool> Settings::boolean(const std::string& key) {
    auto value = item(key, Type::Number);
    if (!value)
        return std::nullopt;
    if (auto* b = std::get_if<bool>(&*value))
        return *b;
    if (auto* i = std::get_if<int64_t>(&*value))
        return *i != 0;
    return std::get<double>(*value) != 0.0;
}

void Settings::setItem(const std::optional<std::string>& key, const std::optional<SettingValue>& value) {
    if (!key || !value)
        return;
    support::Plist node = support::fromSettingValue(*value);
    Store& s = store();
    std::lock_guard lock(s.mutex);
    s.load();
    plist_dict_set_item(s.root.get(), key->c_str(), node.release());
    s.changed();
}

bool Settings::hasItem(const std::optional<std::string>& key) {
    if (!key)
        return false;
    Store& s = store();
    std::lock_guard lock(s.mutex);
    s.load();
    return plist_dict_get_item(s.root.get(), key->c_str()) != nullptr;
}

void Settings::removeItem(const std::string& key) {
    Store& s = store();
    std::lock_guard lock(s.mutex);
    s.load();
    if (plist_dict_get_item(s.root.get(), key.c_str())) {
        plist_dict_remove_item(s.root.get(), key.c_str());
        s.changed();
    }
}

bool Settings::save() {
    Store& s = store();
    std::lock_guard lock(s.mutex);
    return s.write();
}

namespace {
void switchTo(Store& s, std::optional<std::string> application, std::optional<std::string> path) {
    // Changes held for the old file are not dropped.
    if (s.loaded && s.dirty)
        s.write();
    s.application = std::move(application);
    s.explicitPath = std::move(path);
    s.loaded = false;
    s.dirty = false;
}
} // namespace

void Settings::setApplication(const std::string& name) {
    Store& s = store();
    std::lock_guard lock(s.mutex);
    switchTo(s, name, std::nullopt);
}

void Settings::setStorePath(const std::string& path) {
    Store& s = store();
    std::lock_guard lock(s.mutex);
    switchTo(s, s.application, path.empty() ? std::nullopt : std::optional(path));
}

std::string Settings::storePath() {
    Store& s = store();
    std::lock_guard lock(s.mutex);
    return s.path();
}
