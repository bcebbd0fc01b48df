#include "tools/bench/bench_output.h"

#include <cstdio>
#include <cstring>

namespace {

constexpr unsigned kDigits = 20;

bool IsFloodLine(const std::string& line, unsigned long long& number) {
    if (line.size() != kFloodLineBytes - 1) return false;
    char expected[kFloodLineBytes];
    number = 0;
    for (unsigned i = 0; i < kDigits; ++i) {
        if (line[i] < '0' || line[i] > '9') return false;
        number = number * 10 + unsigned(line[i] - '0');
    }
    FloodLine(number, expected);
    return std::memcmp(line.data(), expected, kFloodLineBytes - 1) == 0;
}

// Calls take(line) for each line the bytes end, without its newline.
template <typename Take>
void ForEachLine(std::string& partial, const char* bytes, std::size_t count, Take take) {
    for (const char* end = bytes + count; bytes < end;) {
        const char* newline = static_cast<const char*>(std::memchr(bytes, '\n', size_t(end - bytes)));
        if (!newline) {
            partial.append(bytes, end);
            return;
        }
        partial.append(bytes, newline);
        take(partial);
        partial.clear();
        bytes = newline + 1;
    }
}

}  // namespace

void FloodLine(unsigned long long number, char* line) {
    char digits[kDigits + 1];
    std::snprintf(digits, sizeof(digits), "%020llu", number);
    std::memcpy(line, digits, kDigits);
    // Filler that differs from line to line, so that a line cut and joined
    // to a neighbour's rest is not taken for a whole one.
    for (unsigned i = kDigits; i < kFloodLineBytes - 1; ++i) {
        line[i] = char('a' + (number + i) % 26);
    }
    line[kFloodLineBytes - 1] = '\n';
}

void CheckFlood(FloodCheck& check, const char* bytes, std::size_t count) {
    ForEachLine(check.partial, bytes, count, [&check](const std::string& line) {
        unsigned long long number = 0;
        if (IsFloodLine(line, number)) {
            if (number == check.next) {
                ++check.next;
            } else {
                ++check.broken;
            }
        } else if (line.size() >= kDigits && line.find_first_not_of("0123456789") >= kDigits) {
            ++check.broken;  // begins as a flood line, and is not whole
        } else {
            ++check.others;
        }
    });
}

std::vector<Tick> TakeTicks(std::string& partial, const char* bytes, std::size_t count) {
    std::vector<Tick> ticks;
    ForEachLine(partial, bytes, count, [&ticks](const std::string& line) {
        Tick tick = {};
        char end = 0;
        if (std::sscanf(line.c_str(), "tick %u %lld%c", &tick.index, &tick.counter, &end) == 2) {
            ticks.push_back(tick);
        }
    });
    return ticks;
}
