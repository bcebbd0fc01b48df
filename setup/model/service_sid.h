// The SIDs of the accounts a service can run under, as far as they follow
// from the account's name alone, with no platform call.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

// SHA-1 of a byte string: what Windows derives a service's own SID from.
std::array<std::uint8_t, 20> Sha1(const std::string& bytes);

// S-1-5-80-..., the SID of NT SERVICE\<serviceName>: the SHA-1 of the name
// in upper case, as UTF-16LE, read as five little-endian sub-authorities.
// Windows derives it from the name alone, so the service need not exist.
std::wstring ServiceSidOf(const std::wstring& serviceName);

// The SID of an account whose SID its name decides (LocalSystem,
// LocalService, NetworkService, a virtual account); none for a user or a
// group managed account, which only the platform can look up.
std::optional<std::wstring> SidOfBuiltInAccount(const std::wstring& account);
