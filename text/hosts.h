// The site's hosts: built-in defaults, overridden by an optional Hosts.txt in the working folder.
#pragma once

#include <string>

namespace text {

struct Hosts {
  std::string site;      // SITE: the site host (login)
  std::string homepage;  // HOMEPAGE: the homepage host ("/@" + ID)
  std::string app;       // APP: the homepage application host (guestbook, diary, support board)
  std::string board;     // BOARD: the homepage board host
  std::string update;    // UPDATE: the update host
  std::string support;   // SUPPORT: member ID of the support board

  // "http://" + host + path.
  static std::string Url(const std::string& host, const std::string& path);
};

Hosts DefaultHosts();

// One KEY = VALUE a line, spaces optional, lines starting with '#' ignored, unknown keys ignored.
// A missing or unreadable file gives the defaults; a malformed line leaves its key's default.
// Keys match in any letter case. Only the first 64 KiB of the file are read.
Hosts LoadHosts(const std::string& path = "Hosts.txt");

}  // namespace text
