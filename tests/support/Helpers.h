#pragma once
// Shared by the tests of several folders: environment, scratch folders, files, programs run.

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace testing_support {

namespace fs = std::filesystem;

// Sets (or with nullptr unsets) an environment variable for the scope, time zone included.
struct Env {
    std::string name;
    std::optional<std::string> old;
    Env(const char* n, const char* value) : name(n) {
        if (const char* v = std::getenv(n))
            old = v;
        value ? ::setenv(n, value, 1) : ::unsetenv(n);
        ::tzset();
    }
    ~Env() {
        old ? ::setenv(name.c_str(), old->c_str(), 1) : ::unsetenv(name.c_str());
        ::tzset();
    }
};

// Removed with its contents, read-only or not.
struct TempFolder {
    std::string pattern = (fs::temp_directory_path() / "tests-XXXXXX").string();
    fs::path path = ::mkdtemp(pattern.data());
    ~TempFolder() {
        std::error_code ignored;
        fs::permissions(path, fs::perms::owner_all, ignored);
        fs::remove_all(path, ignored);
    }
    std::string file(const std::string& name) const { return (path / name).string(); }
};

inline std::string slurp(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void spit(const fs::path& p, const std::string& bytes) {
    if (p.has_parent_path())
        fs::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary) << bytes;
}

inline std::string quoted(const std::string& path) {
    return "'" + path + "'";
}

inline bool haveProgram(const char* name) {
    return std::system((std::string("command -v ") + name + " >/dev/null 2>&1").c_str()) == 0;
}

struct Outcome {
    int status = -1;
    std::string output; // standard output and error together
};

// Runs a shell command to its end (ctest's time limit guards a hang).
inline Outcome run(const std::string& command) {
    Outcome o;
    FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
    if (!pipe)
        return o;
    char buffer[1 << 14];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        o.output.append(buffer, n);
    const int status = ::pclose(pipe);
    o.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return o;
}

// navtool of this build with its arguments, after an optional environment prefix ("env ...").
inline Outcome navtool(const std::string& args, const std::string& environment = "") {
    return run(environment + (environment.empty() ? "exec " : " ") + "'" MUX_BINARY_DIR "/bin/navtool' " +
               args);
}

} // namespace testing_support
