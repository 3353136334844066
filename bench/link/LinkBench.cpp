// Throughput of the link layer: the reader thread's per-line work (checksum and reply-code cut),
// field parsing, a sentence decoded into named fields (the Sentences view's work for the row
// shown), and lines read from a pseudo-terminal fed as fast as it takes.
#include "link/NMEA.h"
#include "link/SentenceDecoder.h"
#include "link/Serial.h"
#include "tests/link/Pty.h"

#include <benchmark/benchmark.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <thread>

namespace fs = std::filesystem;

namespace {

// Every sentence of the sample logs with its line end as recorded; a few fixed lines without them.
const std::vector<std::string>& realLines() {
    static const std::vector<std::string> lines = [] {
        std::vector<std::string> out;
        const fs::path logs = fs::path(MUX_SHARED_DATA) / "nmea";
        std::error_code ec;
        for (const auto& entry : fs::directory_iterator(logs, ec)) {
            std::ifstream in(entry.path(), std::ios::binary);
            for (std::string line; std::getline(in, line);)
                if (!line.empty() && (line[0] == '$' || line[0] == '!'))
                    out.push_back(line + "\n");
        }
        if (out.empty())
            out = {"$GPRMC,225308,A,4527.458,S,16709.165,E,000.0,094.5,060601,024.1,E*6D\r\n",
                   "$PQVXCF,1,0,0,0,0,0,0,0000*00\r\n",
                   "!AIVDM,1,1,,A,H7lca<DlPPPPPPPI4koloP1h>550,0*0E\r\n"};
        return out;
    }();
    return lines;
}

void BM_CheckSumAndReplyCode(benchmark::State& state) {
    const auto& lines = realLines();
    std::vector<Bytes> buffers;
    for (const auto& l : lines) {
        Bytes b(l.begin(), l.end());
        b.push_back(0);
        buffers.push_back(std::move(b));
    }
    Bytes work;
    work.reserve(512);
    size_t i = 0, valid = 0;
    for (auto _ : state) {
        const Bytes& line = buffers[i++ % buffers.size()];
        work.assign(line.begin(), line.end()); // the check cuts the buffer: a fresh copy per line
        if (NMEA::checkSumValid(work))
            ++valid;
        benchmark::DoNotOptimize(NMEA::address(work, 5, 2));
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
    state.counters["valid"] = static_cast<double>(valid) / static_cast<double>(state.iterations());
}
BENCHMARK(BM_CheckSumAndReplyCode);

// Every sentence of the sample logs in turn, AIS reports among them.
void BM_DecodeSentence(benchmark::State& state) {
    const auto& lines = realLines();
    size_t i = 0, known = 0;
    for (auto _ : state) {
        const DecodedSentence decoded = decodeSentence(lines[i++ % lines.size()]);
        known += decoded.known ? 1 : 0;
        benchmark::DoNotOptimize(decoded.fields.data());
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
    state.counters["known"] = static_cast<double>(known) / static_cast<double>(state.iterations());
}
BENCHMARK(BM_DecodeSentence);

void BM_Parse12Fields(benchmark::State& state) {
    const std::string s = "$GPRMC,225308,A,4527.458,S,16709.165,E,000.0,094.5,060601,024.1,E";
    Bytes b(s.begin(), s.end());
    b.push_back(0);
    if (NMEA::count(b) != 12)
        state.SkipWithError("not a 12-field sentence");
    for (auto _ : state)
        for (unsigned f = 0; f < 12; ++f)
            benchmark::DoNotOptimize(NMEA::parse(b, f));
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations())); // sentences, all fields read
}
BENCHMARK(BM_Parse12Fields);

void BM_ParseOneField(benchmark::State& state) {
    const std::string s = "$GPRMC,225308,A,4527.458,S,16709.165,E,000.0,094.5,060601,024.1,E";
    Bytes b(s.begin(), s.end());
    b.push_back(0);
    unsigned f = 0;
    for (auto _ : state)
        benchmark::DoNotOptimize(NMEA::parse(b, f++ % 12));
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
}
BENCHMARK(BM_ParseOneField);

// A writer thread on the master end writes real lines as fast as the terminal takes them; the
// benchmark reads them one by one as the reader thread does (line feed, at most 256 bytes).
// Argument: 0 reads byte by byte, 1 with read-ahead.
void BM_ReadLinesFromPty(benchmark::State& state) {
    Pty pty;
    Serial port;
    port.setReadAhead(state.range(0) != 0);
    if (!port.openPort(pty.path(), "115200", false, false)) {
        state.SkipWithError("cannot open a pseudo-terminal");
        return;
    }
    std::string block;
    size_t lineCount = 0;
    for (const auto& l : realLines()) {
        block += l.back() == '\n' && (l.size() < 2 || l[l.size() - 2] != '\r')
                     ? l.substr(0, l.size() - 1) + "\r\n"
                     : l;
        ++lineCount;
    }
    std::atomic<bool> stop{false}, done{false};
    std::thread writer([&] {
        while (!stop && pty.write(block)) {
        }
        done = true;
    });

    size_t bytes = 0, lost = 0;
    for (auto _ : state) {
        const auto line = port.readPortUntilChar('\n', 256);
        if (line)
            bytes += line->size();
        else
            ++lost;
    }
    // The writer may be blocked on a full terminal: drain until it has seen the stop.
    stop = true;
    char drain[4096];
    while (!done && ::read(port.fd(), drain, sizeof drain) >= 0) {
    }
    writer.join();

    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
    state.SetBytesProcessed(static_cast<int64_t>(bytes));
    state.counters["nil"] = static_cast<double>(lost);
    state.counters["meanLine"] = static_cast<double>(block.size()) / static_cast<double>(lineCount);
}
BENCHMARK(BM_ReadLinesFromPty)->ArgName("readAhead")->Arg(0)->Arg(1)->UseRealTime();
BENCHMARK(BM_ReadLinesFromPty)
    ->Name("BM_ReadLinesFromPty/processCPU")
    ->ArgName("readAhead")
    ->Arg(0)
    ->Arg(1)
    ->MeasureProcessCPUTime()
    ->UseRealTime();

} // namespace
