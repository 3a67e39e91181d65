#include "text/hosts.h"

#include <fstream>
#include <string_view>

namespace text {
namespace {

// Hosts.txt is a few lines; anything past this is not read.
constexpr std::size_t kMaxHostsBytes = 64 * 1024;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsAlnum(char c) { return IsDigit(c) || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool IsHex(char c) { return IsDigit(c) || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f'); }

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) {
    s.remove_suffix(1);
  }
  return s;
}

bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 'a' + 'A');
    if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 'a' + 'A');
    if (x != y) return false;
  }
  return true;
}

bool IsPort(std::string_view s) {
  if (s.empty() || s.size() > 5) return false;
  unsigned value = 0;
  for (char c : s) {
    if (!IsDigit(c)) return false;
    value = value * 10 + static_cast<unsigned>(c - '0');
  }
  return value >= 1 && value <= 65535;
}

// A host name or IPv4 address: letters, digits, '-', '_' and '.', not starting with '-' or '.'.
bool IsHostName(std::string_view s) {
  if (s.empty() || s.size() > 253 || s.front() == '-' || s.front() == '.') return false;
  for (char c : s) {
    if (!IsAlnum(c) && c != '-' && c != '_' && c != '.') return false;
  }
  return true;
}

// An IPv6 address in brackets, "[::1]".
bool IsBracketedAddress(std::string_view s) {
  if (s.size() < 4 || s.front() != '[' || s.back() != ']') return false;
  for (char c : s.substr(1, s.size() - 2)) {
    if (!IsHex(c) && c != ':' && c != '.') return false;
  }
  return true;
}

// host, host:port, [v6] or [v6]:port.
bool IsHostAndPort(std::string_view s) {
  std::string_view host = s;
  if (!s.empty() && s.front() == '[') {
    std::string_view::size_type close = s.find(']');
    if (close == std::string_view::npos) return false;
    host = s.substr(0, close + 1);
    std::string_view rest = s.substr(close + 1);
    if (rest.empty()) return IsBracketedAddress(host);
    return rest.front() == ':' && IsPort(rest.substr(1)) && IsBracketedAddress(host);
  }
  std::string_view::size_type colon = s.find(':');
  if (colon != std::string_view::npos) {
    host = s.substr(0, colon);
    if (!IsPort(s.substr(colon + 1))) return false;
  }
  return IsHostName(host);
}

// A member ID goes into addresses as it is: letters, digits, '-', '_' and '.'.
bool IsMemberId(std::string_view s) {
  if (s.empty() || s.size() > 64) return false;
  for (char c : s) {
    if (!IsAlnum(c) && c != '-' && c != '_' && c != '.') return false;
  }
  return true;
}

void ApplyLine(std::string_view line, Hosts& hosts) {
  line = Trim(line);
  if (line.empty() || line.front() == '#') return;
  std::string_view::size_type eq = line.find('=');
  if (eq == std::string_view::npos) return;
  std::string_view key = Trim(line.substr(0, eq));
  std::string_view value = Trim(line.substr(eq + 1));

  struct Field {
    const char* key;
    std::string Hosts::*member;
    bool (*valid)(std::string_view);
  };
  static constexpr Field kFields[] = {
      {"SITE", &Hosts::site, IsHostAndPort},     {"HOMEPAGE", &Hosts::homepage, IsHostAndPort},
      {"APP", &Hosts::app, IsHostAndPort},       {"BOARD", &Hosts::board, IsHostAndPort},
      {"UPDATE", &Hosts::update, IsHostAndPort}, {"SUPPORT", &Hosts::support, IsMemberId},
  };
  for (const Field& field : kFields) {
    if (EqualsIgnoreCase(key, field.key)) {
      if (field.valid(value)) hosts.*field.member = std::string(value);
      return;
    }
  }
}

}  // namespace

std::string Hosts::Url(const std::string& host, const std::string& path) {
  return "http://" + host + path;
}

Hosts DefaultHosts() {
  Hosts hosts;
  hosts.site = "www.hobnest.jp";
  hosts.homepage = "hp.hobnest.jp";
  hosts.app = "app.hobnest.jp";
  hosts.board = "bbs.hobnest.jp";
  hosts.update = "www.mirabo-soft.jp";
  hosts.support = "mirabo";
  return hosts;
}

Hosts LoadHosts(const std::string& path) {
  Hosts hosts = DefaultHosts();
  std::ifstream file(path, std::ios::binary);
  if (!file) return hosts;

  // One byte more than is used tells whether the file goes on past the limit.
  std::string bytes(kMaxHostsBytes + 1, '\0');
  file.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  bytes.resize(static_cast<std::size_t>(file.gcount()));
  std::string_view data(bytes);
  if (data.size() > kMaxHostsBytes) {
    // The line cut by the limit is not whole; leave it out.
    data = data.substr(0, kMaxHostsBytes);
    std::string_view::size_type last_break = data.rfind('\n');
    data = last_break == std::string_view::npos ? std::string_view() : data.substr(0, last_break);
  }
  if (data.substr(0, 3) == "\xEF\xBB\xBF") data.remove_prefix(3);  // a UTF-8 byte order mark

  while (!data.empty()) {
    std::string_view::size_type end = data.find('\n');
    ApplyLine(data.substr(0, end), hosts);
    if (end == std::string_view::npos) break;
    data.remove_prefix(end + 1);
  }
  return hosts;
}

}  // namespace text
