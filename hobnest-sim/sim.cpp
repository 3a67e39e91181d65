#include "hobnest-sim/sim.h"

#include <httplib.h>

#include <atomic>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <map>
#include <mutex>
#include <random>
#include <set>
#include <string_view>
#include <thread>

#include "text/html.h"
#include "text/sjis.h"

namespace hobnest {
namespace {

using Fields = std::vector<std::pair<std::string, std::string>>;

constexpr std::string_view kGenericTitle = "::: Hobnest :::";
constexpr std::string_view kLoginHandler = "/member/login/login_login_e.jsp";
constexpr std::string_view kGoLogin = "/member/login/goLogin.jsp";
constexpr std::string_view kNickInUse = "/member/login/nickinuse.htm";
constexpr std::string_view kLogout = "/member/login/logout.jsp";
constexpr std::string_view kSessionCookie = "HNSESSION";
constexpr std::string_view kGuest = "ゲスト";

// ---------------------------------------------------------------------------------------------
// Text helpers. Pages are built as UTF-8 and turned into Shift_JIS as they are sent.

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string PercentDecode(std::string_view s, bool plus_is_space) {
  std::string out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '%' && i + 2 < s.size()) {
      int hi = HexValue(s[i + 1]), lo = HexValue(s[i + 2]);
      if (hi >= 0 && lo >= 0) {
        out += static_cast<char>(hi * 16 + lo);
        i += 2;
        continue;
      }
    }
    out += (plus_is_space && s[i] == '+') ? ' ' : s[i];
  }
  return out;
}

bool IsUtf8(std::string_view s) {
  for (size_t i = 0; i < s.size();) {
    auto c = static_cast<unsigned char>(s[i]);
    size_t n;  // continuation bytes
    if (c < 0x80) {
      n = 0;
    } else if (c >= 0xC2 && c <= 0xDF) {
      n = 1;
    } else if ((c & 0xF0) == 0xE0) {
      n = 2;
    } else if (c >= 0xF0 && c <= 0xF4) {
      n = 3;
    } else {
      return false;
    }
    if (n > s.size() - i - 1) return false;
    for (size_t k = 1; k <= n; ++k) {
      if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
    }
    i += n + 1;
  }
  return true;
}

// Browsers send the path of an address as UTF-8, and the query in the page's encoding; either
// may arrive here, so text that is not valid UTF-8 is read as Shift_JIS.
std::string AddressText(std::string_view bytes) {
  return IsUtf8(bytes) ? std::string(bytes) : text::ToUtf8(bytes);
}

std::string Html(std::string_view s) { return text::EscapeHtml(s); }

// The inside of a single-quoted script string.
std::string Js(std::string_view s) {
  std::string out;
  for (char c : s) {
    if (c == '\\' || c == '\'') out += '\\';
    out += c;
  }
  return out;
}

// A value inside an address: ASCII that would change the address's meaning is escaped, other
// text stays as it is (it reaches the browser as Shift_JIS with the page, as on the real site).
std::string UrlPart(std::string_view s) {
  static constexpr std::string_view kKeep = "-._~!$*,;:@()";
  std::string out;
  for (char c : s) {
    auto u = static_cast<unsigned char>(c);
    if (u >= 0x80 || std::isalnum(u) || kKeep.find(c) != std::string_view::npos) {
      out += c;
    } else {
      char buf[4];
      std::snprintf(buf, sizeof buf, "%%%02X", u);
      out += buf;
    }
  }
  return out;
}

// "a=1&b=2" into pairs, in order; decode turns the percent-decoded bytes into UTF-8.
template <typename Decode>
Fields ParsePairs(std::string_view s, Decode decode) {
  Fields out;
  while (!s.empty()) {
    size_t amp = s.find('&');
    std::string_view pair = s.substr(0, amp);
    s = amp == std::string_view::npos ? std::string_view() : s.substr(amp + 1);
    if (pair.empty()) continue;
    size_t eq = pair.find('=');
    std::string_view name = pair.substr(0, eq);
    std::string_view value =
        eq == std::string_view::npos ? std::string_view() : pair.substr(eq + 1);
    out.emplace_back(decode(PercentDecode(name, true)), decode(PercentDecode(value, true)));
  }
  return out;
}

Fields ParseForm(std::string_view body) {
  return ParsePairs(body, [](const std::string& b) { return text::ToUtf8(b); });
}

Fields ParseQuery(std::string_view query) {
  return ParsePairs(query, [](const std::string& b) { return AddressText(b); });
}

std::string Lookup(const Fields& fields, std::string_view name) {
  for (const auto& [n, v] : fields) {
    if (n == name) return v;
  }
  return {};
}

std::string CookieValue(std::string_view header, std::string_view name) {
  while (!header.empty()) {
    size_t semi = header.find(';');
    std::string_view item = header.substr(0, semi);
    header = semi == std::string_view::npos ? std::string_view() : header.substr(semi + 1);
    while (!item.empty() && item.front() == ' ') item.remove_prefix(1);
    if (item.size() > name.size() && item.substr(0, name.size()) == name &&
        item[name.size()] == '=') {
      return std::string(item.substr(name.size() + 1));
    }
  }
  return {};
}

std::string ClockText() {
  std::time_t now = std::time(nullptr);
  std::tm tm{};
  localtime_r(&now, &tm);
  char buf[16];
  std::strftime(buf, sizeof buf, "%H:%M:%S", &tm);
  return buf;
}

// ---------------------------------------------------------------------------------------------
// The page frame shared by every page: the Shift_JIS META of the era, the title, a little CSS.

constexpr std::string_view kStyle = R"(<style type="text/css">
body { margin: 0; background: #fbf7ee; color: #3d2b1f; font-family: sans-serif; font-size: 14px; }
a { color: #8a4b14; }
.hd { background: #7e573d; color: #fff; padding: 6px 12px; font-size: 18px; font-weight: bold; }
.hd a { color: #fff; text-decoration: none; }
.hd .login { float: right; font-size: 12px; font-weight: normal; padding-top: 4px; }
.bd { padding: 8px 14px; }
h2 { color: #7e573d; font-size: 16px; border-bottom: 1px solid #d8c3a5; padding-bottom: 2px; }
.box { background: #fff; border: 1px solid #d8c3a5; padding: 8px 10px; margin: 8px 0; }
.menu { padding: 4px 12px; background: #efe4d0; font-size: 13px; }
.err { color: #b00020; font-weight: bold; }
.chat p { margin: 2px 0; }
.chat small { color: #9a8570; }
.ad { background: #fff3c4; border: 2px dashed #d9a400; padding: 12px; text-align: center; }
</style>
)";

std::string Head(std::string_view title) {
  std::string h =
      "<html><head>\n"
      "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=Shift_JIS\">\n";
  if (!title.empty()) h += "<title>" + Html(title) + "</title>\n";
  h += kStyle;
  h += "</head>\n";
  return h;
}

std::string Page(std::string_view title, std::string_view body, std::string_view body_attrs = {}) {
  std::string p = Head(title) + "<body";
  if (!body_attrs.empty()) p += " " + std::string(body_attrs);
  p += ">\n";
  p += body;
  p += "\n</body></html>\n";
  return p;
}

std::string FramesetPage(std::string_view title, std::string_view frameset) {
  return Head(title) + std::string(frameset) + "\n</html>\n";
}

// Opens a member's homepage in a new window; the walkthrough reads the IDs of these links.
constexpr std::string_view kOpenMyhpScript =
    "<script type=\"text/javascript\">\n"
    "function open_myhp(id) { window.open('/@' + id, '_blank'); }\n"
    "</script>\n";

std::string OpenMyhpLink(const Member& m) {
  return "<a href=\"javascript:open_myhp('" + Html(Js(m.id)) + "')\">" + Html(m.nickname) + "</a>";
}

std::string HomepageAddress(const Member& m) { return "/@" + UrlPart(m.id); }

struct ChatLine {
  std::string speaker, text, time;
};

struct Reply {
  Reply(int status, std::string html) : status(status), html(std::move(html)) {}
  int status;
  std::string html;  // UTF-8
  std::string location;
  std::string set_cookie;
};

}  // namespace

// ---------------------------------------------------------------------------------------------

struct Sim::Impl {
  // What a page sees of its request.
  struct Ctx {
    std::string method;  // GET (also for HEAD) or POST
    std::string path;    // decoded, UTF-8
    Fields query;
    Fields form;
    const Member* viewer = nullptr;  // the logged-in member, from the session cookie
    std::string Query(std::string_view name) const { return Lookup(query, name); }
    std::string Form(std::string_view name) const { return Lookup(form, name); }
  };

  using Handler = Reply (Impl::*)(Ctx&);

  // The pages of the site. A row serves either through its handler or, when it has none, as a
  // fixed page: the banner followed by the body. A "prefix" row matches every path that starts
  // with its path.
  struct Route {
    std::string_view method;
    std::string_view path;
    bool prefix;
    Handler handler;
    std::string_view title = {};
    std::string_view body = {};
    std::string_view body_attrs = {};
  };

  mutable std::mutex mu;
  std::vector<Member> members;
  std::set<std::string> elsewhere;
  std::map<std::string, std::string> sessions;  // session token -> member ID
  std::map<std::string, std::vector<ChatLine>> rooms;
  std::map<std::string, std::vector<GuestbookPost>> guestbooks;
  std::set<std::string> refusing_guestbooks;
  std::vector<Request> requests;
  std::vector<FormPost> posts;
  std::mt19937_64 rng{std::random_device{}()};
  std::function<void(const std::string&)> sink;

  std::unique_ptr<httplib::Server> server;
  std::thread thread;
  std::atomic<int> port{-1};

  static const std::vector<Route>& Routes();
  void Serve(const httplib::Request& req, httplib::Response& res);
  Reply Dispatch(Ctx& c);

  Member* FindMember(std::string_view id) {
    for (auto& m : members) {
      if (m.id == id) return &m;
    }
    return nullptr;
  }

  std::string NewToken() {
    char buf[40];
    std::snprintf(buf, sizeof buf, "%016llx%016llx", static_cast<unsigned long long>(rng()),
                  static_cast<unsigned long long>(rng()));
    return buf;
  }

  // The site's banner: the site name and the login state. Inside a frame its links leave the
  // frameset.
  std::string Banner(const Ctx& c, bool in_frame = false) const {
    std::string target = in_frame ? " target=\"_top\"" : "";
    std::string s = "<div class=\"hd\"><a href=\"/\"" + target + ">ホブネスト</a>";
    s += "<span class=\"login\">";
    if (c.viewer) {
      s += "ログイン中: " + Html(c.viewer->nickname) + " ｜ <a href=\"" +
           Html(HomepageAddress(*c.viewer)) + "\"" + target + ">マイホーム</a> ｜ <a href=\"" +
           std::string(kLogout) + "\"" + target + ">ログアウト</a>";
    } else {
      s += "<a href=\"" + std::string(kGoLogin) + "\"" + target + ">ログイン</a>";
    }
    s += "</span></div>\n";
    return s;
  }

  std::string Standard(const Ctx& c, std::string_view title, std::string_view body,
                       std::string_view body_attrs = {}) const {
    return Page(title, Banner(c) + "<div class=\"bd\">\n" + std::string(body) + "\n</div>",
                body_attrs);
  }

  Reply NoSuchHomepage(const Ctx& c) const {
    return {200, Standard(c, kGenericTitle,
                          "<div class=\"box\">指定したIDのホームページは存在しません。</div>\n"
                          "<p><a href=\"/\">ホブネストのトップへ</a></p>")};
  }

  std::string SpeakerName(const Ctx& c) const {
    return c.viewer ? c.viewer->nickname : std::string(kGuest);
  }

  // ---- Pages

  Reply TopPage(Ctx& c) {
    std::string body =
        "<h2>ホブネストへようこそ</h2>\n"
        "<div class=\"box\">ホブネストは、日記と掲示板とチャットでつながるコミュニティです。";
    if (!c.viewer) {
      body += "<br>メンバーの方は <a href=\"" + std::string(kGoLogin) +
              "\">ログイン</a> してください。";
    }
    body += "</div>\n<h2>メンバーのホームページ</h2>\n<ul>\n";
    for (const auto& m : members) {
      body += "<li><a href=\"" + Html(HomepageAddress(m)) + "\" target=\"_blank\">" +
              Html(m.nickname) + "</a> (" + Html(m.id) + ")</li>\n";
    }
    body +=
        "</ul>\n<h2>コーナー</h2>\n<ul>\n"
        "<li><a href=\"/buddy/buddy_list.jsp\">フレンド一覧</a></li>\n"
        "<li><a href=\"/ch/lobby.jsp\">チャットロビー</a></li>\n"
        "<li><a href=\"/msg/inbox.jsp\">メッセージ</a></li>\n"
        "<li><a href=\"/links.jsp\">ページ一覧</a></li>\n</ul>";
    return {200, Standard(c, kGenericTitle, body)};
  }

  // "/@" + ID: the member's homepage, a top frame over the member's chat room.
  Reply Homepage(Ctx& c) {
    const Member* owner = FindMember(c.path.substr(2));
    if (!owner) return NoSuchHomepage(c);
    std::string id = Html(UrlPart(owner->id));
    return {200,
            FramesetPage(
                owner->nickname + "のホームページ",
                "<frameset rows=\"84,*\" frameborder=\"0\" border=\"0\">\n"
                "<frame name=\"hp_top\" src=\"/hp/top.jsp?id=" +
                    id +
                    "\" scrolling=\"no\" noresize>\n"
                    "<frame name=\"hp_main\" src=\"/chat/room.jsp?id=" +
                    id +
                    "\">\n"
                    "<noframes><body>フレーム対応のブラウザでご覧ください。</body></noframes>\n"
                    "</frameset>")};
  }

  Reply HomepageTop(Ctx& c) {
    const Member* owner = FindMember(c.Query("id"));
    if (!owner) return NoSuchHomepage(c);
    std::string body = std::string(kOpenMyhpScript) + Banner(c, true);
    body += "<div class=\"menu\"><b>" + Html(owner->nickname) + "</b> のホームページ ｜ " +
            "<a href=\"/diary/diary_list.jsp?homepage=" + Html(UrlPart(owner->id)) +
            "&amp;cpg=1\" target=\"_blank\">日記</a> ｜ メンバー:";
    for (const auto& m : members) {
      if (&m != owner) body += " " + OpenMyhpLink(m);
    }
    body += "</div>";
    return {200, Page(kGenericTitle, body)};
  }

  Reply ChatRoom(Ctx& c) {
    const Member* owner = FindMember(c.Query("id"));
    if (!owner) return NoSuchHomepage(c);
    std::string id = Html(UrlPart(owner->id));
    return {200, FramesetPage(kGenericTitle,
                              "<frameset rows=\"*,44\" frameborder=\"0\" border=\"0\">\n"
                              "<frame name=\"log\" src=\"/chat/log.jsp?id=" +
                                  id +
                                  "\">\n"
                                  "<frame name=\"input\" src=\"/chat/input.jsp?id=" +
                                  id +
                                  "\" scrolling=\"no\">\n"
                                  "</frameset>")};
  }

  Reply ChatLog(Ctx& c) {
    const Member* owner = FindMember(c.Query("id"));
    if (!owner) return NoSuchHomepage(c);
    std::string body =
        "<div class=\"bd chat\">\n<h2>" + Html(owner->nickname) + "のチャットルーム</h2>\n";
    const auto& lines = rooms[owner->id];
    if (lines.empty()) body += "<p>まだ発言はありません。</p>\n";
    for (auto it = lines.rbegin(); it != lines.rend(); ++it) {  // newest first
      body += "<p><b>" + Html(it->speaker) + "</b> &gt; " + Html(it->text) + " <small>(" +
              it->time + ")</small></p>\n";
    }
    body += "</div>";
    return {200, Page(kGenericTitle, body)};
  }

  // The input frame: one text field and no send button; Enter sends the line. After a line has
  // been sent, the answer reloads the log frame.
  Reply ChatInputPage(const Member& owner, bool after_post) const {
    std::string body =
        "<form name=\"chat\" method=\"post\" action=\"/chat/say.jsp\" accept-charset=\"Shift_JIS\" "
        "style=\"margin:8px 12px\">\n"
        "<input type=\"hidden\" name=\"room\" value=\"" +
        Html(owner.id) +
        "\">\n"
        "発言: <input type=\"text\" name=\"chatctrl\" size=\"50\" maxlength=\"200\">\n"
        "</form>";
    if (after_post) {
      body +=
          "\n<script type=\"text/javascript\">\n"
          "if (parent.frames['log']) parent.frames['log'].location.reload();\n"
          "</script>";
    }
    return {200, Page(kGenericTitle, body, "onload=\"document.chat.chatctrl.focus();\"")};
  }

  Reply ChatInput(Ctx& c) {
    const Member* owner = FindMember(c.Query("id"));
    if (!owner) return NoSuchHomepage(c);
    return ChatInputPage(*owner, false);
  }

  Reply ChatSay(Ctx& c) {
    const Member* owner = FindMember(c.Form("room"));
    if (!owner) return NoSuchHomepage(c);
    std::string line = c.Form("chatctrl");
    if (!line.empty()) rooms[owner->id].push_back({SpeakerName(c), line, ClockText()});
    return ChatInputPage(*owner, true);
  }

  Reply DiaryList(Ctx& c) {
    const Member* owner = FindMember(c.Query("homepage"));
    if (!owner) return NoSuchHomepage(c);
    std::string nick = Html(owner->nickname), id = Html(UrlPart(owner->id));
    return {200,
            Standard(c, kGenericTitle,
                     "<h2>" + nick +
                         "の日記</h2>\n"
                         "<div class=\"box\"><b>今日のできごと</b><br>"
                         "いい天気だったので、少し遠回りして帰りました。</div>\n"
                         "<div class=\"box\"><b>はじめまして</b><br>日記をはじめました。</div>\n"
                         "<p><a href=\"/bbs/bbs_list.jsp?homepage=" +
                         id + "\">掲示板</a> ｜ <a href=\"/logs/logs_list.jsp?homepage=" + id +
                         "\">ログ</a> ｜ <a href=\"/@" + id + "\">ホームページへ戻る</a></p>")};
  }

  Reply BoardList(Ctx& c) {
    const Member* owner = FindMember(c.Query("homepage"));
    if (!owner) return NoSuchHomepage(c);
    std::string nick = Html(owner->nickname), id = Html(UrlPart(owner->id));
    return {
        200,
        Standard(c, kGenericTitle,
                 "<h2>" + nick +
                     "の掲示板</h2>\n"
                     "<div class=\"box\"><b>1. ようこそ</b> (" +
                     nick +
                     ")<br>気軽に書き込んでください。</div>\n"
                     "<p><a href=\"/diary/diary_list.jsp?homepage=" +
                     id + "&amp;cpg=1\">日記</a> ｜ <a href=\"/logs/logs_list.jsp?homepage=" + id +
                     "\">ログ</a> ｜ <a href=\"/@" + id + "\">ホームページへ戻る</a></p>")};
  }

  // A member's avatar code: fixed for the seeded members, made from the position for others.
  std::string AvatarOf(const Member& m) const {
    static const std::map<std::string, std::string, std::less<>> seeded = {
        {"taro", "TR7Q2K"}, {"hanako", "HN3B8X"}, {"jiro", "JR9W4M"}};
    if (auto it = seeded.find(m.id); it != seeded.end()) return it->second;
    char buf[16];
    std::snprintf(buf, sizeof buf, "MB%04d", static_cast<int>(&m - members.data()) + 1);
    return buf;
  }

  // A member's guestbook ("logs"): the posts, newest first, and for a logged-in visitor the
  // form to post with. The form's avatar field is written by the page's script, with the
  // visitor's code followed by "11", as the site's pages always carried it.
  std::string GuestbookBody(const Ctx& c, const Member& owner) {
    std::string id = Html(UrlPart(owner.id));
    std::string body = "<h2>" + Html(owner.nickname) + "のログ</h2>\n<div class=\"box chat\">\n";
    const auto& book = guestbooks[owner.id];
    if (book.empty()) body += "<p>まだ書き込みはありません。</p>\n";
    for (auto it = book.rbegin(); it != book.rend(); ++it) {  // newest first
      const Member* writer = FindMember(it->writer_id);
      std::string avatar;
      if (writer && it->avatar == AvatarOf(*writer) + "11")
        avatar = "<span class=\"avatar\">[" + Html(AvatarOf(*writer)) + "]</span> ";
      body += "<p>" + avatar + "<b>" + Html(it->writer) + "</b> &gt; " + Html(it->message) +
              " <small>(" + it->time + ")</small></p>\n";
    }
    body += "</div>\n";
    if (c.viewer) {
      body +=
          "<form name=\"logs\" method=\"post\" action=\"/logs/logs_insert_e.jsp\" "
          "accept-charset=\"Shift_JIS\" class=\"box\">\n"
          "<input type=\"hidden\" name=\"homepage\" value=\"" +
          Html(owner.id) +
          "\"><input type=\"hidden\" name=\"cpg\" value=\"1\">\n"
          "<input type=\"text\" name=\"message\" size=\"50\" maxlength=\"1500\">\n"
          "<script type=\"text/javascript\">\n"
          "document.write(\"<input type='hidden' name='avatar' value='" +
          AvatarOf(*c.viewer) +
          "\" + \"11'>\");\n"
          "</script>\n"
          "<input type=\"submit\" value=\"書き込む\">\n</form>\n";
    }
    body += "<p><a href=\"/@" + id +
            "\">ホームページへ戻る</a> ｜ <a href=\"/logs/logs_list.jsp?homepage=" + id +
            "\">ログを見る</a></p>";
    return body;
  }

  // The guestbook post handler: keeps the message of a logged-in member and answers with the
  // guestbook; a refusing guestbook keeps nothing and says so.
  Reply GuestbookInsert(Ctx& c) {
    const Member* owner = FindMember(c.Form("homepage"));
    if (!owner) return NoSuchHomepage(c);
    if (!c.viewer) {
      return {200, Standard(c, kGenericTitle,
                            "<div class=\"box err\">ログインしてください。</div>\n<p><a href=\"" +
                                std::string(kGoLogin) + "\">ログイン</a></p>")};
    }
    if (refusing_guestbooks.count(owner->id)) {
      // The refusal comes as the site's script alert and as text.
      return {200, Standard(c, kGenericTitle,
                            "<script type=\"text/javascript\">alert(\"権限がないです\");</script>\n"
                            "<div class=\"box err\">権限がないです。</div>\n"
                            "<p><a href=\"/@" +
                                Html(UrlPart(owner->id)) + "\">ホームページへ戻る</a></p>")};
    }
    std::string message = c.Form("message");
    if (!message.empty()) {
      guestbooks[owner->id].push_back(
          {c.viewer->id, c.viewer->nickname, message, c.Form("avatar"), ClockText()});
    }
    return {200, Standard(c, kGenericTitle, GuestbookBody(c, *owner))};
  }

  Reply GuestbookList(Ctx& c) {
    const Member* owner = FindMember(c.Query("homepage"));
    if (!owner) return NoSuchHomepage(c);
    return {200, Standard(c, kGenericTitle, GuestbookBody(c, *owner))};
  }

  Reply Friends(Ctx& c) {
    std::string body = std::string(kOpenMyhpScript) + "<h2>フレンド一覧</h2>\n<ul>\n";
    for (const auto& m : members) {
      if (&m != c.viewer) body += "<li>" + OpenMyhpLink(m) + " (" + Html(m.id) + ")</li>\n";
    }
    body += "</ul>";
    return {200, Standard(c, kGenericTitle, body)};
  }

  // Untitled, so a browser names the window by its address.
  Reply ChatLobby(Ctx& c) {
    std::string body = "<h2>チャットロビー</h2>\n<ul>\n";
    for (const auto& m : members) {
      body += "<li><a href=\"" + Html(HomepageAddress(m)) + "\" target=\"_blank\">" +
              Html(m.nickname) + "のチャットルーム</a> (" + std::to_string(rooms[m.id].size()) +
              " 発言)</li>\n";
    }
    body += "</ul>";
    return {200, Standard(c, {}, body)};
  }

  Reply SelfClose(Ctx& c) {
    bool automatic = c.Query("auto") == "1";
    return {
        200,
        Standard(c, "閉じるページ",
                 automatic ? "<p>このウィンドウは自動的に閉じます。</p>"
                           : "<p>ボタンを押すとこのウィンドウを閉じます。</p>\n"
                             "<input type=\"button\" value=\"閉じる\" onclick=\"window.close();\">",
                 automatic ? "onload=\"window.close();\"" : "")};
  }

  Reply LoginForm(Ctx& c) {
    return {
        200,
        Standard(c, "ログイン",
                 "<h2>ログイン</h2>\n<form method=\"post\" action=\"" + std::string(kLoginHandler) +
                     "\" accept-charset=\"Shift_JIS\" class=\"box\">\n"
                     "ＩＤ <input type=\"text\" name=\"id\" size=\"16\"><br>\n"
                     "パスワード <input type=\"password\" name=\"password\" size=\"16\"><br>\n"
                     "<input type=\"submit\" value=\"ログイン\">\n</form>")};
  }

  Reply Login(Ctx& c) {
    const Member* m = FindMember(c.Form("id"));
    if (!m || m->password != c.Form("password")) {
      return {200, Standard(c, kGenericTitle,
                            "<div class=\"box err\">IDまたはパスワードが違います。</div>\n"
                            "<p><a href=\"" +
                                std::string(kGoLogin) + "\">ログイン画面へ戻る</a></p>")};
    }
    if (elsewhere.count(m->id)) {
      Reply r{302, Standard(c, kGenericTitle, "<p>ログインできませんでした。</p>")};
      r.location = std::string(kNickInUse);
      return r;
    }
    std::string token = NewToken();
    sessions[token] = m->id;
    c.viewer = m;
    Reply r{200, Standard(c, kGenericTitle,
                          "<h2>ようこそ、" + Html(m->nickname) +
                              " さん</h2>\n"
                              "<p><a href=\"" +
                              Html(HomepageAddress(*m)) +
                              "\">マイホームへ</a> ｜ <a href=\"/\">トップへ</a></p>")};
    r.set_cookie = std::string(kSessionCookie) + "=" + token + "; Path=/";
    return r;
  }

  Reply Logout(Ctx& c) {
    for (auto it = sessions.begin(); it != sessions.end();) {
      it = (c.viewer && it->second == c.viewer->id) ? sessions.erase(it) : std::next(it);
    }
    c.viewer = nullptr;
    return {200, Standard(c, kGenericTitle, "<p>ログアウトしました。</p>")};
  }
};

const std::vector<Sim::Impl::Route>& Sim::Impl::Routes() {
  static const std::vector<Route> routes = {
      {"GET", "/", false, &Impl::TopPage},
      {"GET", "/@", true, &Impl::Homepage},
      {"GET", "/hp/top.jsp", false, &Impl::HomepageTop},
      {"GET", "/chat/room.jsp", false, &Impl::ChatRoom},
      {"GET", "/chat/log.jsp", false, &Impl::ChatLog},
      {"GET", "/chat/input.jsp", false, &Impl::ChatInput},
      {"POST", "/chat/say.jsp", false, &Impl::ChatSay},
      {"GET", "/diary/diary_list.jsp", false, &Impl::DiaryList},
      {"GET", "/bbs/bbs_list.jsp", false, &Impl::BoardList},
      {"POST", "/logs/logs_insert_e.jsp", false, &Impl::GuestbookInsert},
      {"GET", "/logs/logs_list.jsp", false, &Impl::GuestbookList},
      {"GET", "/buddy/buddy_list.jsp", false, &Impl::Friends},
      {"GET", "/ch/lobby.jsp", false, &Impl::ChatLobby},
      {"GET",
       "/pop/ad.jsp",
       false,
       nullptr,
       {},
       "<div class=\"ad\"><b>ホブネスト プレミアム会員 募集中！</b><br>"
       "今なら最初の一か月は無料です。<br><br>"
       "<input type=\"button\" value=\"閉じる\" onclick=\"window.close();\"></div>"},
      {"GET",
       "/msg/inbox.jsp",
       false,
       nullptr,
       {},
       "<h2>メッセージ</h2>\n<div class=\"box\">新しいメッセージはありません。</div>"},
      {"GET", "/generic.jsp", false, nullptr, kGenericTitle,
       "<h2>お知らせ</h2>\n<div "
       "class=\"box\">ホブネストをご利用いただきありがとうございます。</div>"},
      {"GET",
       "/notitle.jsp",
       false,
       nullptr,
       {},
       "<h2>タイトルのないページ</h2>\n<div "
       "class=\"box\">このページにはタイトルがありません。</div>"},
      {"GET", "/opener.jsp", false, nullptr, "ウィンドウを開くページ",
       "<p>このページは開いたときに新しいウィンドウを一つ開きます。</p>\n"
       "<input type=\"button\" value=\"もう一つ開く\" onclick=\"window.open('/generic.jsp');\">",
       "onload=\"window.open('/generic.jsp');\""},
      {"GET", "/selfclose.jsp", false, &Impl::SelfClose},
      {"GET", "/links.jsp", false, nullptr, "ページ一覧",
       "<h2>ページ一覧</h2>\n<ul>\n"
       "<li><a href=\"/buddy/buddy_list.jsp\" target=\"_blank\">フレンド一覧</a></li>\n"
       "<li><a href=\"/ch/lobby.jsp\" target=\"_blank\">チャットロビー</a></li>\n"
       "<li><a href=\"/pop/ad.jsp\" target=\"_blank\">広告</a></li>\n"
       "<li><a href=\"/msg/inbox.jsp\" target=\"_blank\">メッセージ</a></li>\n"
       "<li><a href=\"/generic.jsp\" target=\"_blank\">お知らせ</a></li>\n"
       "<li><a href=\"/notitle.jsp\" target=\"_blank\">タイトルのないページ</a></li>\n"
       "<li><a href=\"/links.jsp\" target=\"_blank\">ページ一覧（このページ）</a></li>\n"
       "<li><a href=\"/@hanako\" target=\"_blank\">花子のホームページ</a></li>\n"
       "<li><a href=\"/opener.jsp\" target=\"_blank\">ウィンドウを開くページ</a></li>\n"
       "<li><a href=\"/selfclose.jsp\" target=\"_blank\">閉じるページ（ボタン）</a></li>\n"
       "<li><a href=\"/selfclose.jsp?auto=1\" target=\"_blank\">閉じるページ（自動）</a></li>\n"
       "</ul>"},
      {"GET", kGoLogin, false, &Impl::LoginForm},
      {"GET", kLoginHandler, false, &Impl::LoginForm},
      {"POST", kLoginHandler, false, &Impl::Login},
      {"GET", kNickInUse, false, nullptr, "ログインエラー",
       "<div class=\"box err\">このIDは現在ほかの場所でログインしています。</div>\n"
       "<p>しばらくしてからもう一度ログインしてください。</p>"},
      {"GET", kLogout, false, &Impl::Logout},
  };
  return routes;
}

Reply Sim::Impl::Dispatch(Ctx& c) {
  for (const auto& r : Routes()) {
    if (r.method != c.method) continue;
    bool match = r.prefix ? c.path.rfind(r.path, 0) == 0 : c.path == r.path;
    if (!match) continue;
    if (r.handler) return (this->*r.handler)(c);
    return {200, Standard(c, r.title, r.body, r.body_attrs)};
  }
  return {404, Standard(c, kGenericTitle, "<div class=\"box err\">ページが見つかりません。</div>")};
}

void Sim::Impl::Serve(const httplib::Request& req, httplib::Response& res) {
  std::string_view target = req.target;
  size_t q = target.find('?');
  std::string raw_query = q == std::string_view::npos ? "" : std::string(target.substr(q + 1));
  std::string cookie = req.get_header_value("Cookie");
  bool is_form =
      req.method == "POST" &&
      req.get_header_value("Content-Type").rfind("application/x-www-form-urlencoded", 0) == 0;

  std::lock_guard<std::mutex> lock(mu);
  Ctx c;
  c.method = req.method == "HEAD" ? "GET" : req.method;
  c.path = AddressText(PercentDecode(target.substr(0, q), false));
  c.query = ParseQuery(raw_query);
  if (is_form) c.form = ParseForm(req.body);
  if (auto it = sessions.find(CookieValue(cookie, kSessionCookie)); it != sessions.end()) {
    c.viewer = FindMember(it->second);
  }
  requests.push_back({req.method, c.path, raw_query, cookie});

  Reply reply = Dispatch(c);
  if (is_form) posts.push_back({c.path, c.form, req.body, cookie});

  res.status = reply.status;
  if (!reply.location.empty()) res.set_header("Location", reply.location);
  if (!reply.set_cookie.empty()) res.set_header("Set-Cookie", reply.set_cookie);
  res.set_content(text::ToSjis(reply.html), "text/html; charset=Shift_JIS");
}

// ---------------------------------------------------------------------------------------------

Sim::Sim() : impl_(std::make_unique<Impl>()) {
  AddMember("taro", "taro-pass", "太郎");
  AddMember("hanako", "hanako-pass", "花子");
  AddMember("jiro", "jiro-pass", "次郎");
}

Sim::~Sim() { Stop(); }

int Sim::Start(int port) {
  if (impl_->server) return -1;
  auto server = std::make_unique<httplib::Server>();
  auto serve = [this](const httplib::Request& req, httplib::Response& res) {
    impl_->Serve(req, res);
  };
  server->Get(".*", serve);
  server->Post(".*", serve);
  // Only SO_REUSEADDR: the library's default SO_REUSEPORT would let a second sim share a port.
  server->set_socket_options([](socket_t sock) {
    int yes = 1;
    setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  });
  server->set_keep_alive_timeout(1);  // lets Stop() finish soon after a browser's last request
  server->set_logger([this](const httplib::Request& req, const httplib::Response& res) {
    std::function<void(const std::string&)> sink;
    {
      std::lock_guard<std::mutex> lock(impl_->mu);
      sink = impl_->sink;
    }
    if (sink) sink(req.method + " " + req.target + " -> " + std::to_string(res.status));
  });

  int bound = port == 0 ? server->bind_to_any_port("127.0.0.1")
                        : (server->bind_to_port("127.0.0.1", port) ? port : -1);
  if (bound <= 0) return -1;
  impl_->port = bound;
  impl_->server = std::move(server);
  impl_->thread = std::thread([s = impl_->server.get()] { s->listen_after_bind(); });
  // stop() only reaches a server whose accept loop has begun, so Start returns after that.
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (!impl_->server->is_running()) {
    if (std::chrono::steady_clock::now() >= deadline) {
      Stop();
      return -1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return bound;
}

void Sim::Stop() {
  if (!impl_->server) return;
  impl_->server->stop();
  if (impl_->thread.joinable()) impl_->thread.join();
  impl_->server.reset();
  impl_->port = -1;
}

int Sim::port() const { return impl_->port; }

std::vector<Request> Sim::Requests() const {
  std::lock_guard<std::mutex> lock(impl_->mu);
  return impl_->requests;
}

std::vector<FormPost> Sim::Posts() const {
  std::lock_guard<std::mutex> lock(impl_->mu);
  return impl_->posts;
}

void Sim::ClearLog() {
  std::lock_guard<std::mutex> lock(impl_->mu);
  impl_->requests.clear();
  impl_->posts.clear();
}

void Sim::AddMember(const std::string& id_utf8, const std::string& password_utf8,
                    const std::string& nickname_utf8) {
  std::lock_guard<std::mutex> lock(impl_->mu);
  if (Member* m = impl_->FindMember(id_utf8)) {
    m->password = password_utf8;
    m->nickname = nickname_utf8;
  } else {
    impl_->members.push_back({id_utf8, password_utf8, nickname_utf8});
  }
}

void Sim::SetLoggedInElsewhere(const std::string& id_utf8, bool on) {
  std::lock_guard<std::mutex> lock(impl_->mu);
  if (on) {
    impl_->elsewhere.insert(id_utf8);
  } else {
    impl_->elsewhere.erase(id_utf8);
  }
}

std::vector<Member> Sim::Members() const {
  std::lock_guard<std::mutex> lock(impl_->mu);
  return impl_->members;
}

std::string Sim::AvatarCode(const std::string& id_utf8) const {
  std::lock_guard<std::mutex> lock(impl_->mu);
  const Member* m = impl_->FindMember(id_utf8);
  return m ? impl_->AvatarOf(*m) : std::string();
}

void Sim::SetGuestbookRefuses(const std::string& owner_id_utf8, bool on) {
  std::lock_guard<std::mutex> lock(impl_->mu);
  if (on) {
    impl_->refusing_guestbooks.insert(owner_id_utf8);
  } else {
    impl_->refusing_guestbooks.erase(owner_id_utf8);
  }
}

std::vector<GuestbookPost> Sim::Guestbook(const std::string& owner_id_utf8) const {
  std::lock_guard<std::mutex> lock(impl_->mu);
  auto it = impl_->guestbooks.find(owner_id_utf8);
  return it == impl_->guestbooks.end() ? std::vector<GuestbookPost>() : it->second;
}

void Sim::SetLogSink(std::function<void(const std::string& line)> sink) {
  std::lock_guard<std::mutex> lock(impl_->mu);
  impl_->sink = std::move(sink);
}

bool Sim::WaitFor(std::function<bool(const Sim&)> cond, int timeout_ms) const {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  while (true) {
    if (cond(*this)) return true;
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

}  // namespace hobnest
