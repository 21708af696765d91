// One sampling pass of the live monitors over this machine's /proc, timed.
//
//   monitor-bench [passes]   (default 1)
//
// Run it under `strace -c -f` to count the system calls of a pass. Each pass reads
// memory, CPU and every process, as the store does for a screen that shows processes.
#include "BenchArguments.h"
#include "app/system/CPUMonitor.h"
#include "app/system/MemoryMonitor.h"
#include "app/system/ProcessMonitor.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv)
{
    const auto arguments = BenchArguments(argc, argv, "monitor-bench", "[passes]").plain(1);
    const int passes = arguments.empty() ? 1 : std::max(1, std::atoi(arguments[0].c_str()));
    MemoryMonitor memory;
    CPUMonitor cpu;
    ProcessMonitor processes;
    std::size_t listed = 0;
    const auto start = std::chrono::steady_clock::now();
    for (int pass = 0; pass < passes; ++pass) {
        (void)memory.sample();
        (void)cpu.sample();
        listed = processes.sample().size();
    }
    const std::chrono::duration<double, std::milli> elapsed = std::chrono::steady_clock::now() - start;
    std::printf("%d pass(es), %zu processes, %.2f ms per pass\n", passes, listed, elapsed.count() / passes);
    return 0;
}
