#pragma once
// Small platform helpers shared by the support library (no Qt).

#include <optional>
#include <string>

namespace support {

// The user's language from the locale (LC_ALL, LC_MESSAGES, LANG): "de_DE.UTF-8" gives "de";
// "C", "POSIX" or nothing gives "en".
std::string localeLanguage();
std::string languageOfLocaleName(const std::string& locale);

// $HOME, else the password database; "/" as a last resort.
std::string homeFolder();
// An environment variable that holds an absolute path, else nothing (XDG ignores relative ones).
std::optional<std::string> absoluteEnvPath(const char* name);

// The running program's file (/proc/self/exe), empty when it cannot be read.
std::string executablePath();

// Reads a whole file, at most maxBytes; nothing when it cannot be read or is larger.
std::optional<std::string> readFile(const std::string& path, size_t maxBytes);

// Writes all bytes, resuming after interruptions and short writes; false on the first failure.
bool writeAll(int fd, const char* data, size_t size);

// Writes a file atomically: a temporary file in the same folder, fsync, rename over the target.
// On failure the target is untouched and no temporary file is left.
bool writeFileAtomically(const std::string& path, const std::string& contents, unsigned mode = 0600);

} // namespace support
