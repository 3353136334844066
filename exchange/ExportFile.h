#pragma once
// The file an export writes: text gathered in a buffer and written to a temporary file beside
// the target, which replaces the target only when every byte was written. A failed export leaves
// the old file as it was and no temporary file behind. Without a path the text stays in memory.

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace exchange {

// What an export of everything writes.
struct ExportParts {
    bool waypoints = true;
    bool routes = true;
    bool tracks = true;
};

// Writes each (name, contents) file into the folder at a relative location beside the document,
// making the folder; false when a file cannot be written or the location leads elsewhere.
bool writeFilesBeside(const std::string& document, const std::string& location,
                      const std::vector<std::pair<std::string, std::string>>& files);

class ExportFile {
public:
    ExportFile() = default; // in memory: see text()
    ~ExportFile();
    ExportFile(const ExportFile&) = delete;
    ExportFile& operator=(const ExportFile&) = delete;

    // False when the temporary file cannot be made (missing folder, no permission).
    bool open(const std::string& path);
    void write(std::string_view text);
    ExportFile& operator<<(std::string_view text) {
        write(text);
        return *this;
    }
    // Writes the rest, syncs and puts the file in place; false when anything failed.
    bool commit();
    // What was written, when kept in memory.
    const std::string& text() const { return buffer_; }

private:
    void flush();
    void discard();

    std::string path_;
    std::string temporary_;
    std::string buffer_;
    int fd_ = -1;
    bool failed_ = false;
};

} // namespace exchange
