// The properties that the fuzz targets check, shared by the libFuzzer targets
// (host, simulated platform) and by the corpus replay (Windows, the platform's
// own CommandLineToArgvW and the runtime's wcstoul). A check takes one input
// as the fuzzer gives it and returns what went wrong, or an empty text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// The input as the elements of a wrapper command line from element 2 on, one
// per line. The child's command line composed from them must split back into
// exactly those elements, unless the program holds a quotation mark and is
// refused.
std::string CheckChildCommandLine(const std::uint8_t* data, std::size_t size);

// The input as the stop timeout's text: ParseStopTimeout must give what a
// plain model of the runtime's 32-bit rules gives.
std::string CheckStopTimeout(const std::uint8_t* data, std::size_t size);

// The same for every UTF-16 unit before a digit and after one, which settles
// which units the conversion skips as white space and reads as digits.
std::string CheckEveryUnit();

// Bytes as UTF-16 units: UTF-8 (encoded surrogates allowed, so that lone ones
// can be written), and a byte that starts no well-formed sequence stands for
// the lone surrogate U+DC00 plus that byte.
std::wstring DecodeText(const std::uint8_t* data, std::size_t size);

// A text for a report: printable ASCII as it is, every other unit as <U+XXXX>.
std::string Describe(const std::wstring& text);
std::string Describe(const std::vector<std::wstring>& elements);

// For the libFuzzer targets: a difference is a finding, reported on the
// standard error and ended with abort() so that the fuzzer keeps the input.
void Judge(const std::string& difference);
