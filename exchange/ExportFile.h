#pragma once
// The file an export writes: text gathered in a buffer and written to a temporary file beside
// the target, which replaces the target only when every byte was written. A failed export leaves
// the old file as it was and no temporary file behind. Without a path the text stays in memory.

#include <string>
#include <string_view>

namespace exchange {

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
