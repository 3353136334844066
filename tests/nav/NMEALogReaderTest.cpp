// The streaming log reader gives the very lines the whole-file reader gives, whatever the block
// size, with long lines as places in the file, and counts them.

#include "nav/NMEALogReader.h"
#include "nav/NMEASimulator.h"
#include "tests/support/Helpers.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

using namespace testing_support;

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

// Same lines as fromFile at several block sizes, long lines included; the count agrees.
void expectAgreement(const std::string& path, const std::vector<std::string>& lines = {}) {
    const auto whole = NMEASimulator::fromFile(path);
    ASSERT_TRUE(whole);
    if (!lines.empty()) {
        EXPECT_EQ(*whole, lines);
    }
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

TEST(LogReader, AgreesWithTheWholeFileReaderOnEdgeCases) {
    TempFolder dir;
    using Lines = std::vector<std::string>;
    const std::pair<std::string, Lines> cases[] = {
        // the lines where they are spelled out
        {"", {""}},
        {"$GPRMC no separator at all", {"$GPRMC no separator at all"}},
        {"$A\r$B\r", {"$A", "$B", ""}},         // CR only
        {"$A\r\n$B\r\n", {"$A\r", "$B\r", ""}}, // CR LF: each line keeps its CR, an empty last piece
        {"$A\n\n$B", {"$A", "", "$B"}},         // LF, an empty line
        {"\r\r\n\n", {}},                       // separators only
        {"x\ry\r\n", {}},                       // one LF decides: the lone CR stays inside a line
        {"12:00:01 $GPRMC,1*00\n# comment!\n!AIVDM,1\nno start\n", {}},
        {std::string(300, 'x') + "$" + std::string(200, 'y') + "!\n" + std::string(100, '!'), {}},
        {std::string("\0$\0\n\xff\xfe!", 8), {}},
    };
    for (const auto& [content, lines] : cases) {
        SCOPED_TRACE(::testing::PrintToString(content.substr(0, 40)));
        spit(dir.file("log.nmea"), content);
        expectAgreement(dir.file("log.nmea"), lines);
    }
}

TEST(LogReader, AgreesWithTheWholeFileReaderOnTheSampleLogs) {
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
TEST(LogReader, RefusesWhatCannotBeRead) {
    TempFolder dir;
    NMEALogReader reader;
    ASSERT_EQ(::mkfifo(dir.file("pipe").c_str(), 0600), 0);
    for (const std::string& path : {dir.file("missing"), dir.path.string(), dir.file("pipe")})
        EXPECT_FALSE(reader.open(path)) << path;
    EXPECT_FALSE(NMEASimulator::fromFile(dir.file("missing")));
    EXPECT_FALSE(NMEASimulator::fromFile(dir.path.string()));
}

} // namespace
