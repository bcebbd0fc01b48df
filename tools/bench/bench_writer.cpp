// The program whose output the benchmark keeps, through the launcher or the
// shell's redirection, writing to its standard output:
//
//   bench_writer flood <bytes>                 numbered 64-byte lines, 4 KiB at a
//                                              time, as fast as it can (what a C
//                                              program's buffered output does)
//   bench_writer ticks <count> <interval ms>   one line each interval holding the
//                                              QueryPerformanceCounter reading
//                                              just before its write
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <cstdio>
#include <cwchar>

#include "tools/bench/bench_output.h"

namespace {

bool WriteAll(HANDLE out, const char* bytes, DWORD count) {
    DWORD written = 0;
    return WriteFile(out, bytes, count, &written, nullptr) && written == count;
}

int Flood(HANDLE out, unsigned long long bytes) {
    constexpr DWORD kBlockBytes = 4096;
    static_assert(kBlockBytes % kFloodLineBytes == 0, "a block holds whole lines");
    char block[kBlockBytes];
    unsigned long long line = 0;
    for (unsigned long long sent = 0; sent < bytes; sent += kBlockBytes) {
        for (DWORD at = 0; at < kBlockBytes; at += kFloodLineBytes) {
            FloodLine(line++, block + at);
        }
        if (!WriteAll(out, block, kBlockBytes)) return 1;
    }
    return 0;
}

int Ticks(HANDLE out, unsigned count, DWORD intervalMs) {
    for (unsigned i = 0; i < count; ++i) {
        if (i > 0) Sleep(intervalMs);
        LARGE_INTEGER now;
        QueryPerformanceCounter(&now);
        char line[64];
        const int length = std::snprintf(line, sizeof(line), "tick %u %lld\n", i, now.QuadPart);
        if (!WriteAll(out, line, DWORD(length))) return 1;
    }
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    if (argc == 3 && std::wcscmp(argv[1], L"flood") == 0) {
        return Flood(out, std::wcstoull(argv[2], nullptr, 10));
    }
    if (argc == 4 && std::wcscmp(argv[1], L"ticks") == 0) {
        return Ticks(out, unsigned(std::wcstoul(argv[2], nullptr, 10)),
                     DWORD(std::wcstoul(argv[3], nullptr, 10)));
    }
    std::fprintf(stderr, "usage: bench_writer flood <bytes> | ticks <count> <interval ms>\n");
    return 2;
}
