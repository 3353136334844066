#pragma once
// The per-user preference store: a property-list file under $XDG_CONFIG_HOME (~/.config), one per
// program, keeping the type of every value, written atomically.

#include <chrono>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <variant>
#include <vector>

struct SettingValue;
using SettingArray = std::vector<SettingValue>;
using SettingDictionary = std::map<std::string, SettingValue>;
using SettingDate = std::chrono::system_clock::time_point;

struct SettingValue
    : std::variant<bool, int64_t, double, std::string, SettingDate, SettingArray, SettingDictionary> {
    using variant::variant;
    SettingValue(const char* text) : variant(std::string(text)) {}
    SettingValue(int number) : variant(int64_t(number)) {}
};

class Settings {
public:
    // Number takes integers, reals and booleans (a boolean is a number); Boolean takes booleans only.
    enum class Type { Text, Number, Boolean, Date, Array, Dictionary };

    static std::optional<SettingValue> item(const std::optional<std::string>& key, Type expected);
    static std::optional<std::string> text(const std::string& key);
    static std::optional<double> number(const std::string& key);
    static std::optional<bool> boolean(const std::string& key); // a stored number reads as its truth

    static void setItem(const std::optional<std::string>& key, const std::optional<SettingValue>& value);
    static bool hasItem(const std::optional<std::string>& key);
    static void removeItem(const std::string& key);
    static bool save(); // writes now; also written at normal exit

    // The program's store: $XDG_CONFIG_HOME/<name>.plist. Set once, before first use.
    static void setApplication(const std::string& name);
    // Another file (tests); the store is read from it afresh.
    static void setStorePath(const std::string& path);
    static std::string storePath();
};
