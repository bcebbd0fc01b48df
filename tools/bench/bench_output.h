// The output the benchmark's writer makes and how its copy in a file is read
// back: numbered lines whose count and order prove that nothing was lost,
// doubled or cut, and lines holding the moment they were written.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

// A flood line: its number in 20 digits, filler, a newline.
constexpr unsigned kFloodLineBytes = 64;
void FloodLine(unsigned long long number, char* line);

// What a file holds of a flood, read in pieces of any size. Lines that are
// not flood lines (the launcher's own) are counted apart; a flood line out of
// its turn, or one cut or joined to another, is broken.
struct FloodCheck {
    unsigned long long next;    // the number the next flood line must have
    unsigned long long others;  // whole lines that are not flood lines
    unsigned long long broken;
    std::string partial;        // a line not yet ended
};
void CheckFlood(FloodCheck& check, const char* bytes, std::size_t count);

// A tick line: "tick <index> <QueryPerformanceCounter>".
struct Tick {
    unsigned index;
    long long counter;
};
// The ticks whose lines the bytes complete, in order; other lines are passed
// over and a line not yet ended is kept in partial for the next bytes.
std::vector<Tick> TakeTicks(std::string& partial, const char* bytes, std::size_t count);
