#pragma once
// Small helpers shared by the support tests.

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <unistd.h>

namespace testing_support {

namespace fs = std::filesystem;

// Sets (or with nullptr unsets) an environment variable for the scope.
struct Env {
    std::string name;
    std::optional<std::string> old;
    Env(const char* n, const char* value) : name(n) {
        if (const char* v = std::getenv(n))
            old = v;
        value ? setenv(n, value, 1) : unsetenv(n);
    }
    ~Env() { old ? setenv(name.c_str(), old->c_str(), 1) : unsetenv(name.c_str()); }
};

struct TempFolder {
    fs::path path;
    TempFolder() {
        std::string pattern = (fs::temp_directory_path() / "support-XXXXXX").string();
        path = ::mkdtemp(pattern.data());
    }
    ~TempFolder() { fs::remove_all(path); }
};

inline std::string slurp(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

inline void spit(const fs::path& p, const std::string& bytes) {
    if (p.has_parent_path())
        fs::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary) << bytes;
}

} // namespace testing_support
