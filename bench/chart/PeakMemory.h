#pragma once
// Peak memory of one run of a piece of work, measured in a fresh process: the benchmark starts
// itself again with the job's name in the environment, that process runs only the job and prints
// its peak resident size, which is compared with that of a run of the "idle" job.
//
// A benchmark file registers its jobs with PeakJob objects and ends with MUX_BENCH_PEAK_JOBS();.

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <string>
#include <unistd.h>

namespace bench_support {

using Job = std::function<void(const std::string& argument)>;

inline std::map<std::string, Job>& jobs() {
    static std::map<std::string, Job> registered{{"idle", [](const std::string&) {}}};
    return registered;
}

struct PeakJob {
    PeakJob(const char* name, Job job) { jobs()[name] = std::move(job); }
};

// The process's own peak resident size in KiB (VmHWM), -1 when unknown.
inline long ownPeakKiB() {
    FILE* status = std::fopen("/proc/self/status", "r");
    if (!status)
        return -1;
    char line[256];
    long peak = -1;
    while (std::fgets(line, sizeof line, status)) {
        if (std::sscanf(line, "VmHWM: %ld kB", &peak) == 1)
            break;
    }
    std::fclose(status);
    return peak;
}

// Before main: when the environment names a job, run it alone, print the process's peak and leave.
struct RunNamedJob {
    RunNamedJob() {
        const char* name = std::getenv("MUX_BENCH_PEAK");
        if (!name)
            return;
        const char* argument = std::getenv("MUX_BENCH_PEAK_ARG");
        const auto job = jobs().find(name);
        if (job == jobs().end())
            std::_Exit(3);
        job->second(argument ? argument : "");
        std::printf("%ld\n", ownPeakKiB());
        std::fflush(stdout);
        std::_Exit(0);
    }
};

// Peak resident KiB of a fresh process running the job; -1 when it could not be run. (The peak
// of a child as wait4 reports it would include what the parent held when it started the child.)
inline long jobPeakKiB(const std::string& name, const std::string& argument) {
    char self[4096];
    const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0)
        return -1;
    const std::string command = "MUX_BENCH_PEAK='" + name + "' MUX_BENCH_PEAK_ARG='" + argument + "' '" +
                                std::string(self, static_cast<size_t>(n)) + "'";
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe)
        return -1;
    long peak = -1;
    if (std::fscanf(pipe, "%ld", &peak) != 1)
        peak = -1;
    return ::pclose(pipe) == 0 ? peak : -1;
}

// MiB the job adds at its peak to a process that does nothing else (or to the given base job).
inline double peakMiB(const std::string& name, const std::string& argument = "",
                      const std::string& base = "idle") {
    const long busy = jobPeakKiB(name, argument);
    const long idle = jobPeakKiB(base, argument);
    return busy < 0 || idle < 0 ? -1.0 : (busy - idle) / 1024.0;
}

} // namespace bench_support

#define MUX_BENCH_PEAK_JOBS() static const bench_support::RunNamedJob runNamedJob
