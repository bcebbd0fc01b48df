#include "child/wrapper_arguments.h"
#include "platform/platform.h"
#include "tests/fuzz/fuzz_checks.h"

// One element per line; a last line without its line feed counts too. A NUL
// byte, which no element can hold, stands for a line feed inside an element.
static std::vector<std::wstring> DecodeElements(const std::uint8_t* data, std::size_t size) {
    std::vector<std::wstring> elements;
    std::size_t start = 0;
    for (std::size_t i = 0; i <= size; ++i) {
        if (i < size && data[i] != '\n') continue;
        if (i == size && i == start) break;
        std::wstring element = DecodeText(data + start, i - start);
        for (wchar_t& unit : element) {
            if (unit == L'\0') unit = L'\n';
        }
        elements.push_back(element);
        start = i + 1;
    }
    if (elements.empty()) elements.emplace_back();
    return elements;
}

static bool Split(const std::wstring& line, std::vector<std::wstring>& elements) {
    int count = 0;
    LPWSTR* argv = CommandLineToArgvW(line.c_str(), &count);
    if (!argv) return false;
    elements.assign(argv, argv + count);
    LocalFree(argv);
    return true;
}

std::string CheckChildCommandLine(const std::uint8_t* data, std::size_t size) {
    const std::vector<std::wstring> childElements = DecodeElements(data, size);
    const std::wstring& program = childElements[0];
    if (!CanQuoteProgram(program.c_str())) {
        if (program.find(L'"') != std::wstring::npos) return "";
        return "refused the program " + Describe(program) + ", which holds no quotation mark";
    }
    std::vector<std::wstring> elements = {L"service-wrapper.exe", L"1000"};
    elements.insert(elements.end(), childElements.begin(), childElements.end());
    std::vector<LPWSTR> pointers;
    for (std::wstring& element : elements) pointers.push_back(&element[0]);
    const std::wstring line =
        BuildChildCommandLine(pointers.data(), static_cast<int>(pointers.size()));

    std::vector<std::wstring> split;
    if (!Split(line, split)) return "CommandLineToArgvW failed on " + Describe(line);
    if (split == childElements) return "";
    return "the elements " + Describe(childElements) + " give the line " + Describe(line) +
           ", which splits into " + Describe(split);
}
