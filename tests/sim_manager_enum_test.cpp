// The simulated manager's listing with a small buffer, resumed where it
// stopped, and its translation between names and display names.
#include <cwchar>

#include <gtest/gtest.h>

#include "platform/platform.h"
#include "tests/sim_manager_fixture.h"

namespace {

using sim_test::Outcome;
using sim_test::SimulatedManager;

// What an entry of the listing takes: its record, its name and its display
// name (the name and " shown").
DWORD EntryBytes(const std::wstring& name) {
    return static_cast<DWORD>(sizeof(ENUM_SERVICE_STATUS_PROCESSW) +
                              (2 * name.size() + 8) * sizeof(WCHAR));
}

TEST_F(SimulatedManager, ListingGivesAsManyAsFitAndResumesWhereItStopped) {
    const std::vector<std::wstring> sorted = {L"Alpha", L"bravo", L"charlie", L"delta", L"Echo"};
    for (const wchar_t* name : {L"delta", L"Alpha", L"charlie", L"Echo", L"bravo"}) {
        sim::ServiceRecord record;
        record.name = name;
        record.displayName = std::wstring(name) + L" shown";
        if (name[0] == L'c') record.status.dwCurrentState = SERVICE_RUNNING;
        sim::AddService(record);
    }
    DWORD total = 0;
    for (const std::wstring& name : sorted) total += EntryBytes(name);
    DWORD needed = 0;
    DWORD returned = 0;
    // Just short of the first two entries: sometimes one fits, sometimes two.
    const DWORD size = EntryBytes(sorted[0]) + EntryBytes(sorted[1]) - sizeof(WCHAR);
    std::vector<std::wstring> names;
    DWORD resume = 0;
    for (int call = 0; names.size() < sorted.size() && call <= 5; ++call) {
        SCOPED_TRACE(call);  // the first one with no buffer at all
        std::vector<BYTE> buffer(call ? size : 0);
        BOOL done = EnumServicesStatusExW(manager_, SC_ENUM_PROCESS_INFO, SERVICE_WIN32,
                                          SERVICE_STATE_ALL, call ? buffer.data() : nullptr,
                                          call ? size : 0, &needed, &returned, &resume, nullptr);
        const auto* entries = reinterpret_cast<const ENUM_SERVICE_STATUS_PROCESSW*>(buffer.data());
        DWORD used = 0;
        for (DWORD i = 0; i < returned; ++i) {
            names.emplace_back(entries[i].lpServiceName);
            EXPECT_EQ(std::wstring(entries[i].lpDisplayName), names.back() + L" shown");
            used += EntryBytes(names.back());
        }
        DWORD rest = 0;  // what the first call, with no entry returned, says it needs: all
        for (std::size_t i = names.size(); i < sorted.size(); ++i) rest += EntryBytes(sorted[i]);
        EXPECT_LE(used, buffer.size());
        EXPECT_EQ(done, rest == 0);
        if (rest) {
            EXPECT_EQ(GetLastError(), ERROR_MORE_DATA);
            EXPECT_GT(used + EntryBytes(sorted[names.size()]), buffer.size()) << "another would fit";
            EXPECT_EQ(needed, rest);
            EXPECT_EQ(resume, names.size());
        } else {
            EXPECT_EQ(resume, 0u);
        }
    }
    EXPECT_EQ(names, sorted);

    // As Wine's manager lists: nothing until the buffer holds every entry.
    sim::ListAllOrNothing(true);
    std::vector<BYTE> all(total);
    resume = 0;
    EXPECT_EQ(Outcome(EnumServicesStatusExW(manager_, SC_ENUM_PROCESS_INFO, SERVICE_WIN32,
                                            SERVICE_STATE_ALL, all.data(), total - 1, &needed,
                                            &returned, &resume, nullptr)),
              ERROR_MORE_DATA);
    EXPECT_EQ(std::make_tuple(returned, needed, resume), std::make_tuple(0u, total, 0u));
    EXPECT_TRUE(EnumServicesStatusExW(manager_, SC_ENUM_PROCESS_INFO, SERVICE_WIN32, SERVICE_STATE_ALL,
                                      all.data(), total, &needed, &returned, &resume, nullptr));
    EXPECT_EQ(returned, 5u);
    EXPECT_TRUE(EnumServicesStatusExW(manager_, SC_ENUM_PROCESS_INFO, SERVICE_WIN32, SERVICE_ACTIVE,
                                      all.data(), total, &needed, &returned, nullptr, nullptr));
    ASSERT_EQ(returned, 1u);
    EXPECT_STREQ(reinterpret_cast<const ENUM_SERVICE_STATUS_PROCESSW*>(all.data())->lpServiceName,
                 L"charlie");
}

TEST_F(SimulatedManager, NamesTranslateWithTheLengthProtocol) {
    CloseServiceHandle(Create(L"Updater", L"Firmware Updater"));
    struct Translation {
        bool toKey;
        const wchar_t* given;
        const wchar_t* expected;  // null: no such service
    };
    const Translation kTranslations[] = {
        {true, L"firmware updater", L"Updater"},
        {false, L"UPDATER", L"Firmware Updater"},
        {true, L"Updater", nullptr},
        {false, L"Firmware Updater", nullptr},
    };
    for (const Translation& t : kTranslations) {
        SCOPED_TRACE(testing::PrintToString(t.given));
        auto translate = t.toKey ? GetServiceKeyNameW : GetServiceDisplayNameW;
        wchar_t buffer[64];
        DWORD length = 0;
        EXPECT_EQ(Outcome(translate(manager_, t.given, buffer, &length)),
                  t.expected ? ERROR_INSUFFICIENT_BUFFER : ERROR_SERVICE_DOES_NOT_EXIST);
        if (!t.expected) continue;
        EXPECT_EQ(length, std::wcslen(t.expected));  // and no room for the null yet
        EXPECT_EQ(Outcome(translate(manager_, t.given, buffer, &length)), ERROR_INSUFFICIENT_BUFFER);
        length += 1;
        EXPECT_TRUE(translate(manager_, t.given, buffer, &length));
        EXPECT_STREQ(buffer, t.expected);
        EXPECT_EQ(length, std::wcslen(t.expected));
    }
}

}  // namespace
