// The streaming log reader gives the very lines the whole-file reader gives, whatever the block
// size, with long lines as places in the file, and counts them.

#include "nav/NMEALogReader.h"
#include "nav/NMEASimulator.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

struct Read {
    std::vector<std::string> lines;
    std::optional<uint64_t> total;
    bool failed = false;
};

// Every piece as text (long ones read back from the file), checking where each sentence starts.
Read readAll(const std::string& path, size_t block, size_t held) {
    NMEALogReader reader(block, held);
    Read out;
    if (!reader.open(path) || !reader.prepare()) {
        out.failed = true;
        return out;
    }
    while (auto piece = reader.next()) {
        std::string text = piece->text;
        if (!piece->held) {
            EXPECT_GT(piece->length, held);
            text.resize(piece->length);
            EXPECT_EQ(reader.readAt(piece->offset, text.data(), text.size()), text.size());
        }
        size_t start = text.find('$');
        if (start == std::string::npos)
            start = text.find('!');
        EXPECT_EQ(piece->sentence, start == std::string::npos ? NMEALogReader::npos : piece->offset + start);
        out.lines.push_back(std::move(text));
    }
    out.failed = reader.failed();
    while (reader.countMore()) {
    }
    out.total = reader.total();
    return out;
}

class LogReader : public ::testing::Test {
protected:
    fs::path dir = fs::temp_directory_path() / ("nav-log-" + std::to_string(::getpid()));
    void SetUp() override { fs::create_directories(dir); }
    void TearDown() override { fs::remove_all(dir); }
    std::string write(const std::string& content) {
        const fs::path path = dir / "log.nmea";
        std::ofstream(path, std::ios::binary) << content;
        return path.string();
    }
    // Same lines as fromFile at several block sizes, long lines included; the count agrees.
    void expectAgreement(const std::string& path) {
        const auto whole = NMEASimulator::fromFile(path);
        ASSERT_TRUE(whole);
        for (auto [block, held] : {std::pair<size_t, size_t>{1, 1},
                                   {3, 7},
                                   {64, 16},
                                   {4096, 4096},
                                   {NMEALogReader::kBlock, NMEALogReader::kHeldLine}}) {
            SCOPED_TRACE("block " + std::to_string(block) + ", held " + std::to_string(held));
            const Read r = readAll(path, block, held);
            EXPECT_FALSE(r.failed);
            EXPECT_EQ(r.lines, *whole);
            EXPECT_EQ(r.total, whole->size());
        }
    }
};

TEST_F(LogReader, AgreesWithTheWholeFileReaderOnEdgeCases) {
    const std::string cases[] = {
        "",                           // one empty line
        "$GPRMC no separator at all", // one line
        "$A\r$B\r!C",                 // CR only
        "$A\r\n$B\r\n",               // CR LF: each line keeps its CR, an empty last piece
        "$A\n\n$B\n",                 // LF, an empty line, a trailing separator
        "\r\r\n\n",                   // separators only
        "x\ry\r\n",                   // one LF decides: the lone CR stays inside a line
        "12:00:01 $GPRMC,1*00\n# comment!\n!AIVDM,1\nno start\n",
        std::string(300, 'x') + "$" + std::string(200, 'y') + "!\n" + std::string(100, '!'),
        std::string("\0$\0\n\xff\xfe!", 8),
    };
    for (const std::string& content : cases) {
        SCOPED_TRACE(::testing::PrintToString(content.substr(0, 40)));
        expectAgreement(write(content));
    }
}

TEST_F(LogReader, AgreesWithTheWholeFileReaderOnTheSampleLogs) {
    const fs::path logs = fs::path(MUX_SHARED_DATA) / "nmea";
    if (!fs::is_directory(logs))
        GTEST_SKIP() << "no sample logs at " << logs;
    int seen = 0;
    for (const auto& entry : fs::directory_iterator(logs)) {
        SCOPED_TRACE(entry.path().filename().string());
        expectAgreement(entry.path().string());
        ++seen;
    }
    EXPECT_GT(seen, 0);
}

// Refused at once, without waiting for a writer at a pipe. (A failure halfway: tests/mux.)
TEST_F(LogReader, RefusesWhatCannotBeRead) {
    NMEALogReader reader;
    ASSERT_EQ(::mkfifo((dir / "pipe").c_str(), 0600), 0);
    for (const fs::path& path : {dir / "missing", dir, dir / "pipe"})
        EXPECT_FALSE(reader.open(path.string())) << path;
}

} // namespace
