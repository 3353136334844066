#pragma once
// The model files: one property-list dictionary per model in the user's library folder, keyed by
// the records' names. Written in XML form, atomically; XML and binary forms are read.

#include "support/Plist.h"

#include <optional>
#include <set>
#include <string>

namespace chart {

// Larger files are not read: no model comes near it.
inline constexpr size_t maxModelFileBytes = 256u << 20;

// The file's path: a plain name lies in the user's library folder, an absolute one stays.
std::optional<std::string> modelFilePath(const std::string& fileName);

// The top dictionary of a model file; nothing when the file cannot be read or holds no dictionary.
std::optional<support::Plist> readModelFile(const std::string& path);
std::optional<support::Plist> parseModelBytes(const std::string& bytes);

// False when the folder cannot be made or written, or the write fails; the old file then stays.
bool writeModelFile(const std::string& path, plist_t dictionary);

// The dictionary of a model being saved. Records are keyed by name; a name that repeats gets a
// key of its own (the record's "name" value is unchanged), so no record is lost.
class ModelDictionary {
public:
    ModelDictionary() : root_(plist_new_dict()) {}
    // Takes the record's dictionary; an empty one (a record without a name) is left out.
    void add(const std::string& name, support::Plist record);
    plist_t get() const { return root_.get(); }

private:
    support::Plist root_;
    std::set<std::string, std::less<>> keys_;
};

} // namespace chart
