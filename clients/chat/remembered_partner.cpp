// The registry key under which the chat keeps its user's last partner.
#include "remembered_partner.h"

#include <windows.h>

namespace chat {
namespace {

constexpr char kKey[] = "Software\\Quorvel\\QuorvelChat";
constexpr char kHostValue[] = "Partner Host";
constexpr char kNameValue[] = "Name Number";

}  // namespace

std::optional<RememberedPartner> LoadRememberedPartner() {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, kKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return std::nullopt;
  char host[256] = {};
  DWORD hostSize = sizeof host - 1;  // leaves room for a zero the value may lack
  DWORD hostType = 0;
  DWORD name = 0;
  DWORD nameSize = sizeof name;
  DWORD nameType = 0;
  const bool read =
      RegQueryValueExA(key, kHostValue, nullptr, &hostType, reinterpret_cast<BYTE*>(host), &hostSize) ==
          ERROR_SUCCESS &&
      hostType == REG_SZ &&
      RegQueryValueExA(key, kNameValue, nullptr, &nameType, reinterpret_cast<BYTE*>(&name), &nameSize) ==
          ERROR_SUCCESS &&
      nameType == REG_DWORD && nameSize == sizeof name;
  RegCloseKey(key);
  if (!read || host[0] == '\0') return std::nullopt;
  return RememberedPartner{host, static_cast<std::int32_t>(name)};
}

void RememberPartner(const RememberedPartner& partner) {
  HKEY key = nullptr;
  if (RegCreateKeyExA(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr) !=
      ERROR_SUCCESS) {
    return;
  }
  const auto name = static_cast<DWORD>(partner.nameId);
  RegSetValueExA(key, kHostValue, 0, REG_SZ, reinterpret_cast<const BYTE*>(partner.host.c_str()),
                 static_cast<DWORD>(partner.host.size() + 1));
  RegSetValueExA(key, kNameValue, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&name), sizeof name);
  RegCloseKey(key);
}

}  // namespace chat
