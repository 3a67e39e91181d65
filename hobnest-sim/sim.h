// hobnest-sim: a small stand-in of the Hobnest community site on one loopback origin.
//
// Every host role of the site (site, homepage, application, board, update) is this one origin.
// Pages are Shift_JIS, as the real site served them. The sim keeps its members, sessions and
// chat rooms in memory and records every request and every form post it receives, so tests can
// check what reached the site.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace hobnest {

// One request as received, in arrival order.
struct Request {
  std::string method;
  std::string path;    // percent-decoded, as UTF-8 (Shift_JIS escapes are converted)
  std::string query;   // the raw query string, without "?", still percent-encoded
  std::string cookie;  // the Cookie header
};

// One form post (application/x-www-form-urlencoded), decoded.
struct FormPost {
  std::string path;  // e.g. "/member/login/login_login_e.jsp"
  std::vector<std::pair<std::string, std::string>> fields;  // in order, decoded to UTF-8
  std::string raw_body;                                     // the body as received
  std::string cookie;                                       // the Cookie header
};

struct Member {
  std::string id;        // UTF-8
  std::string password;  // UTF-8
  std::string nickname;  // UTF-8
};

// One post on a member's guestbook ("logs"), as the site keeps it.
struct GuestbookPost {
  std::string writer_id;  // the logged-in member who posted, UTF-8
  std::string writer;     // their nickname, UTF-8
  std::string message;    // UTF-8, exactly as received
  std::string avatar;     // the avatar field as received
  std::string time;       // "HH:MM:SS"
};

class Sim {
 public:
  Sim();  // seeds the members taro, hanako and jiro
  ~Sim();
  Sim(const Sim&) = delete;
  Sim& operator=(const Sim&) = delete;

  // Listens on 127.0.0.1 (port 0 = a free port) and serves on its own thread.
  // Returns the port, or -1 when the port cannot be bound or the sim already runs.
  int Start(int port = 0);
  void Stop();
  int port() const;

  // Thread-safe copies of the logs.
  std::vector<Request> Requests() const;
  std::vector<FormPost> Posts() const;
  void ClearLog();

  // Adds a member, or replaces the password and nickname of an existing one.
  void AddMember(const std::string& id_utf8, const std::string& password_utf8,
                 const std::string& nickname_utf8);
  // A member marked as logged in elsewhere is refused at login with the redirect to
  // "/member/login/nickinuse.htm".
  void SetLoggedInElsewhere(const std::string& id_utf8, bool on);
  std::vector<Member> Members() const;

  // A member's avatar code as the site keeps it; its guestbook form sends it with "11" behind
  // it. Empty for an unknown member.
  std::string AvatarCode(const std::string& id_utf8) const;
  // The guestbook of owner refuses every post while on: its answer says "権限がないです".
  void SetGuestbookRefuses(const std::string& owner_id_utf8, bool on);
  // The posts stored on owner's guestbook, oldest first.
  std::vector<GuestbookPost> Guestbook(const std::string& owner_id_utf8) const;

  // Receives one line per answered request ("GET /path?query -> 200"), from the server's
  // threads. Set it before Start.
  void SetLogSink(std::function<void(const std::string& line)> sink);

  // Polls cond every few milliseconds until it holds or timeout_ms have passed.
  bool WaitFor(std::function<bool(const Sim&)> cond, int timeout_ms) const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace hobnest
