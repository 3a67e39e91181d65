// The stand-in Hobnest site, driven over loopback HTTP the way a browser would drive it.
#include "hobnest-sim/sim.h"

#include <gtest/gtest.h>
#include <httplib.h>

#include <chrono>
#include <regex>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "text/sjis.h"

namespace {

using Fields = std::vector<std::pair<std::string, std::string>>;

constexpr char kLoginHandler[] = "/member/login/login_login_e.jsp";
constexpr char kHtmlType[] = "text/html; charset=Shift_JIS";
constexpr char kMeta[] =
    "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=Shift_JIS\">";

std::string Sj(const std::string& utf8) { return text::ToSjis(utf8); }

// Percent-encodes every byte the way a browser encodes a form value (space as "+").
std::string Escape(const std::string& bytes) {
  std::string out;
  for (unsigned char c : bytes) {
    if (std::isalnum(c) || c == '-' || c == '.' || c == '_' || c == '*') {
      out += static_cast<char>(c);
    } else if (c == ' ') {
      out += '+';
    } else {
      char buf[4];
      std::snprintf(buf, sizeof buf, "%%%02X", c);
      out += buf;
    }
  }
  return out;
}

// A form body as a browser sends it from a Shift_JIS page.
std::string SjisForm(const Fields& utf8_fields) {
  std::string body;
  for (const auto& [name, value] : utf8_fields) {
    if (!body.empty()) body += '&';
    body += Escape(Sj(name)) + "=" + Escape(Sj(value));
  }
  return body;
}

std::string Unescape(std::string s) {
  for (size_t p; (p = s.find("&amp;")) != std::string::npos;) s.replace(p, 5, "&");
  return s;
}

std::vector<std::string> FrameSources(const std::string& html) {
  std::vector<std::string> out;
  static const std::regex frame(R"re(<frame [^>]*src="([^"]*)")re");
  for (std::sregex_iterator it(html.begin(), html.end(), frame), end; it != end; ++it) {
    out.push_back(Unescape((*it)[1]));
  }
  return out;
}

size_t Count(const std::string& haystack, const std::string& needle) {
  size_t n = 0;
  for (size_t p = haystack.find(needle); p != std::string::npos; p = haystack.find(needle, p + 1)) {
    ++n;
  }
  return n;
}

class SimTest : public ::testing::Test {
 protected:
  void SetUp() override {
    port_ = sim_.Start(0);
    ASSERT_GT(port_, 0);
    client_ = std::make_unique<httplib::Client>("127.0.0.1", port_);
    client_->set_connection_timeout(5);
    client_->set_read_timeout(5);
  }

  static httplib::Headers WithCookie(const std::string& cookie) {
    httplib::Headers h;
    if (!cookie.empty()) h.emplace("Cookie", cookie);
    return h;
  }

  httplib::Result Get(const std::string& path, const std::string& cookie = "") {
    return client_->Get(path, WithCookie(cookie));
  }

  httplib::Result Post(const std::string& path, const std::string& body,
                       const std::string& cookie = "") {
    return client_->Post(path, WithCookie(cookie), body, "application/x-www-form-urlencoded");
  }

  // Logs in and returns the Cookie header value that carries the session.
  std::string LogIn(const std::string& id, const std::string& password) {
    auto res = Post(kLoginHandler, SjisForm({{"id", id}, {"password", password}}));
    if (!res || res->status != 200) return {};
    std::string set_cookie = res->get_header_value("Set-Cookie");
    return set_cookie.substr(0, set_cookie.find(';'));
  }

  hobnest::Sim sim_;
  int port_ = -1;
  std::unique_ptr<httplib::Client> client_;
};

TEST_F(SimTest, LoginAnswersByMemberState) {
  const std::string odd_id = "山田'<&\"一郎";
  const std::string odd_password = "ぱす'<&\"ワード";
  sim_.AddMember(odd_id, odd_password, "山田");
  sim_.SetLoggedInElsewhere("hanako", true);

  struct Case {
    const char* what;
    std::string id, password;
    int status;
    std::string text;      // UTF-8; expected in the body as Shift_JIS
    std::string location;  // expected Location header
    bool session;
  };
  const Case cases[] = {
      {"right password", "taro", "taro-pass", 200, "ようこそ、太郎 さん", "", true},
      {"wrong password", "taro", "hanako-pass", 200, "IDまたはパスワードが違います。", "", false},
      {"unknown member", "saburo", "taro-pass", 200, "IDまたはパスワードが違います。", "", false},
      {"empty fields", "", "", 200, "IDまたはパスワードが違います。", "", false},
      {"logged in elsewhere", "hanako", "hanako-pass", 302, "", "/member/login/nickinuse.htm",
       false},
      {"Japanese with ' < & \"", odd_id, odd_password, 200, "ようこそ、山田 さん", "", true},
      {"Japanese, password cut at the apostrophe", odd_id, "ぱす", 200,
       "IDまたはパスワードが違います。", "", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    sim_.ClearLog();
    const std::string body = SjisForm({{"id", c.id}, {"password", c.password}});
    auto res = Post(kLoginHandler, body);
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, c.status);
    EXPECT_EQ(res->get_header_value("Content-Type"), kHtmlType);
    if (!c.text.empty()) {
      EXPECT_NE(res->body.find(Sj(c.text)), std::string::npos);
    }
    EXPECT_EQ(res->get_header_value("Location"), c.location);

    const std::string set_cookie = res->get_header_value("Set-Cookie");
    if (c.session) {
      EXPECT_TRUE(std::regex_match(set_cookie, std::regex("HNSESSION=[0-9a-f]{16,}; Path=/")))
          << set_cookie;
    } else {
      EXPECT_EQ(set_cookie, "");
    }

    // The site saw exactly the typed values, in order, decoded from Shift_JIS.
    auto posts = sim_.Posts();
    ASSERT_EQ(posts.size(), 1u);
    EXPECT_EQ(posts[0].path, kLoginHandler);
    EXPECT_EQ(posts[0].raw_body, body);
    EXPECT_EQ(posts[0].fields, (Fields{{"id", c.id}, {"password", c.password}}));
  }

  auto refused = Get("/member/login/nickinuse.htm");
  ASSERT_TRUE(refused);
  EXPECT_EQ(refused->status, 200);
  EXPECT_NE(refused->body.find(kMeta), std::string::npos);
}

TEST_F(SimTest, SessionsAreDistinctAndEndAtLogout) {
  const std::string first = LogIn("taro", "taro-pass");
  const std::string second = LogIn("taro", "taro-pass");
  ASSERT_FALSE(first.empty());
  EXPECT_NE(first, second);

  auto res = Get("/member/login/logout.jsp", second);
  ASSERT_TRUE(res);
  res = Get("/hp/top.jsp?id=jiro", second);
  ASSERT_TRUE(res);
  EXPECT_NE(res->body.find("goLogin"), std::string::npos);
}

TEST_F(SimTest, SessionCookieChangesMemberViews) {
  const std::string session = LogIn("hanako", "hanako-pass");
  ASSERT_FALSE(session.empty());
  const std::string logged_in = Sj("ログイン中: 花子");

  const char* pages[] = {"/", "/hp/top.jsp?id=taro", "/diary/diary_list.jsp?homepage=taro&cpg=1",
                         "/bbs/bbs_list.jsp?homepage=jiro"};
  for (const char* page : pages) {
    SCOPED_TRACE(page);
    for (const char* cookie : {"", "HNSESSION=forged"}) {
      auto out = Get(page, cookie);
      ASSERT_TRUE(out);
      EXPECT_NE(out->body.find("/member/login/goLogin.jsp"), std::string::npos) << cookie;
      EXPECT_EQ(out->body.find(logged_in), std::string::npos) << cookie;
    }
    // The session cookie among others, as a browser sends it.
    auto in = Get(page, "other=1; " + session + "; last=2");
    ASSERT_TRUE(in);
    EXPECT_EQ(in->body.find("goLogin"), std::string::npos);
    EXPECT_NE(in->body.find(logged_in), std::string::npos);
  }
}

TEST_F(SimTest, UnknownIdAnswersTheNoHomepageTextInShiftJis) {
  // "指定したIDのホームページは存在しません。" in Shift_JIS.
  const std::string expected =
      "\x8e\x77\x92\xe8\x82\xb5\x82\xbd"
      "ID"
      "\x82\xcc\x83\x7a\x81\x5b\x83\x80\x83\x79\x81\x5b\x83\x57\x82\xcd"
      "\x91\xb6\x8d\xdd\x82\xb5\x82\xdc\x82\xb9\x82\xf1\x81\x42";
  for (const char* path : {"/@nobody", "/@", "/@TARO", "/hp/top.jsp?id=nobody"}) {
    SCOPED_TRACE(path);
    auto res = Get(path);
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 200);
    EXPECT_EQ(res->get_header_value("Content-Type"), kHtmlType);
    EXPECT_NE(res->body.find(expected), std::string::npos);
    EXPECT_EQ(res->body.find("<frameset"), std::string::npos);
  }
  auto known = Get("/@taro");
  ASSERT_TRUE(known);
  EXPECT_EQ(known->body.find(expected), std::string::npos);
}

TEST_F(SimTest, HomepageAddressAcceptsUtf8AndShiftJisEscapes) {
  sim_.AddMember("山田", "pw", "やまだ");
  for (const std::string& encoded : {Escape("山田"), Escape(Sj("山田"))}) {
    SCOPED_TRACE(encoded);
    sim_.ClearLog();
    auto res = Get("/@" + encoded);
    ASSERT_TRUE(res);
    EXPECT_NE(res->body.find("<frameset"), std::string::npos);
    EXPECT_NE(res->body.find(Sj("<title>やまだのホームページ</title>")), std::string::npos);
    auto requests = sim_.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].path, "/@山田");
  }
}

TEST_F(SimTest, HomepageIsATopFrameOverTheChatRoom) {
  auto home = Get("/@taro");
  ASSERT_TRUE(home);
  const auto frames = FrameSources(home->body);
  ASSERT_EQ(frames.size(), 2u);

  // No frame address may carry the texts the browser acts on.
  std::vector<std::string> all_frames = frames;
  auto room = Get(frames[1]);
  ASSERT_TRUE(room);
  const auto room_frames = FrameSources(room->body);
  ASSERT_EQ(room_frames.size(), 2u);
  all_frames.insert(all_frames.end(), room_frames.begin(), room_frames.end());
  for (const auto& src : all_frames) {
    EXPECT_EQ(src.find("homepage="), std::string::npos) << src;
    EXPECT_EQ(src.find("goLogin"), std::string::npos) << src;
  }

  auto top = Get(frames[0]);
  ASSERT_TRUE(top);
  const std::string& t = top->body;
  EXPECT_EQ(Count(t, "homepage="), 1u);
  EXPECT_NE(t.find("href=\"/diary/diary_list.jsp?homepage=taro&amp;cpg=1\""), std::string::npos);
  EXPECT_NE(t.find("function open_myhp(id) { window.open('/@' + id, '_blank'); }"),
            std::string::npos);
  EXPECT_NE(t.find("href=\"javascript:open_myhp('hanako')\""), std::string::npos);
  EXPECT_NE(t.find("href=\"javascript:open_myhp('jiro')\""), std::string::npos);
  EXPECT_EQ(t.find("open_myhp('taro')"), std::string::npos);
  EXPECT_NE(t.find("goLogin"), std::string::npos);

  // The input frame: one text field named chatctrl and nothing that submits, so only Enter
  // sends a line (the browser adds its own button).
  auto input = Get(room_frames[1]);
  ASSERT_TRUE(input);
  const std::string& in = input->body;
  EXPECT_EQ(Count(in, "name=\"chatctrl\""), 1u);
  EXPECT_EQ(Count(in, "type=\"text\""), 1u);
  EXPECT_EQ(in.find("submit"), std::string::npos);
  EXPECT_EQ(in.find("<button"), std::string::npos);
  EXPECT_EQ(in.find("type=\"image\""), std::string::npos);
}

TEST_F(SimTest, ChatPostReachesTheRoomLog) {
  const std::string session = LogIn("hanako", "hanako-pass");
  ASSERT_FALSE(session.empty());

  auto input = Get("/chat/input.jsp?id=taro", session);
  ASSERT_TRUE(input);
  std::smatch action, room;
  ASSERT_TRUE(std::regex_search(input->body, action, std::regex(R"re(action="([^"]*)")re")));
  ASSERT_TRUE(std::regex_search(input->body, room,
                                std::regex(R"re(type="hidden" name="room" value="([^"]*)")re")));

  sim_.ClearLog();
  const std::string line = "こんにちは <b>&amp; 'quote\"";
  const Fields fields = {{"room", room[1].str()}, {"chatctrl", line}, {"XXXX", "発言"}};
  auto answer = Post(action[1].str(), SjisForm(fields), session);
  ASSERT_TRUE(answer);
  EXPECT_EQ(answer->status, 200);
  EXPECT_NE(answer->body.find("name=\"chatctrl\""), std::string::npos);
  EXPECT_NE(answer->body.find("parent.frames['log'].location.reload()"), std::string::npos);

  auto posts = sim_.Posts();
  ASSERT_EQ(posts.size(), 1u);
  EXPECT_EQ(posts[0].path, action[1].str());
  EXPECT_EQ(posts[0].fields, fields);
  EXPECT_EQ(posts[0].cookie, session);

  const std::string shown = Sj("<b>花子</b> &gt; こんにちは &lt;b&gt;&amp;amp; &#39;quote&quot;");
  auto log = Get("/chat/log.jsp?id=taro");
  ASSERT_TRUE(log);
  EXPECT_NE(log->body.find(shown), std::string::npos);
  auto other = Get("/chat/log.jsp?id=jiro");
  ASSERT_TRUE(other);
  EXPECT_EQ(other->body.find(Sj("こんにちは")), std::string::npos);

  // A guest's empty Enter adds nothing; a guest's line is signed as a guest.
  ASSERT_TRUE(Post(action[1].str(), SjisForm({{"room", "taro"}, {"chatctrl", ""}})));
  ASSERT_TRUE(Post(action[1].str(), SjisForm({{"room", "taro"}, {"chatctrl", "やあ"}})));
  log = Get("/chat/log.jsp?id=taro");
  ASSERT_TRUE(log);
  EXPECT_EQ(Count(log->body, "<p><b>"), 2u);
  EXPECT_NE(log->body.find(Sj("<b>ゲスト</b> &gt; やあ")), std::string::npos);
}

TEST_F(SimTest, RecordsEveryRequestInOrder) {
  sim_.ClearLog();
  ASSERT_TRUE(Get("/generic.jsp", "a=b"));
  ASSERT_TRUE(Get("/diary/diary_list.jsp?homepage=taro&cpg=1"));
  ASSERT_TRUE(Post("/logs/logs_insert_e.jsp",
                   SjisForm({{"homepage", "jiro"}, {"cpg", "1"}, {"message", "元気？"}})));
  ASSERT_TRUE(Get("/no/such/page.jsp"));

  auto requests = sim_.Requests();
  ASSERT_EQ(requests.size(), 4u);
  EXPECT_EQ(requests[0].method, "GET");
  EXPECT_EQ(requests[0].path, "/generic.jsp");
  EXPECT_EQ(requests[0].query, "");
  EXPECT_EQ(requests[0].cookie, "a=b");
  EXPECT_EQ(requests[1].path, "/diary/diary_list.jsp");
  EXPECT_EQ(requests[1].query, "homepage=taro&cpg=1");
  EXPECT_EQ(requests[2].method, "POST");
  EXPECT_EQ(requests[2].path, "/logs/logs_insert_e.jsp");
  EXPECT_EQ(requests[3].path, "/no/such/page.jsp");

  auto posts = sim_.Posts();
  ASSERT_EQ(posts.size(), 1u);
  EXPECT_EQ(posts[0].fields, (Fields{{"homepage", "jiro"}, {"cpg", "1"}, {"message", "元気？"}}));

  sim_.ClearLog();
  EXPECT_TRUE(sim_.Requests().empty());
  EXPECT_TRUE(sim_.Posts().empty());
}

TEST_F(SimTest, WaitForSeesRequestsFromOtherThreadsAndKeepsItsDeadline) {
  sim_.ClearLog();
  std::thread visitor([port = port_] {
    httplib::Client c("127.0.0.1", port);
    c.Get("/pop/ad.jsp");
  });
  EXPECT_TRUE(sim_.WaitFor(
      [](const hobnest::Sim& s) {
        auto r = s.Requests();
        return !r.empty() && r.back().path == "/pop/ad.jsp";
      },
      5000));
  visitor.join();

  auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(sim_.WaitFor([](const hobnest::Sim&) { return false; }, 60));
  auto waited = std::chrono::steady_clock::now() - start;
  EXPECT_GE(waited, std::chrono::milliseconds(60));
  EXPECT_LT(waited, std::chrono::seconds(2));
}

// The pages a person (or an end-to-end test) uses to try the tab naming rules: their titles
// decide what the browser calls the tab.
TEST_F(SimTest, NamingPagesHaveTheirTitlesAndScripts) {
  struct Case {
    const char* path;
    const char* title;  // nullptr: the page has no title
    const char* must_hold;
  };
  const Case cases[] = {
      {"/", "::: Hobnest :::", "goLogin"},
      {"/buddy/buddy_list.jsp", "::: Hobnest :::", "open_myhp('jiro')"},
      {"/generic.jsp", "::: Hobnest :::", ""},
      {"/notitle.jsp", nullptr, ""},
      {"/ch/lobby.jsp", nullptr, "href=\"/@hanako\""},
      {"/pop/ad.jsp", nullptr, ""},
      {"/msg/inbox.jsp", nullptr, ""},
      {"/links.jsp", "ページ一覧", ""},
      {"/opener.jsp", "ウィンドウを開くページ", "<body onload=\"window.open('/generic.jsp');\">"},
      {"/selfclose.jsp", "閉じるページ", "onclick=\"window.close();\""},
      {"/selfclose.jsp?auto=1", "閉じるページ", "<body onload=\"window.close();\">"},
      {"/member/login/goLogin.jsp", "ログイン", "action=\"/member/login/login_login_e.jsp\""},
      {"/member/login/nickinuse.htm", "ログインエラー", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    auto res = Get(c.path);
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 200);
    EXPECT_EQ(res->get_header_value("Content-Type"), kHtmlType);
    EXPECT_NE(res->body.find(kMeta), std::string::npos);
    EXPECT_NE(res->body.find(Sj("ホブネスト")), std::string::npos);
    if (c.title) {
      EXPECT_NE(res->body.find("<title>" + Sj(c.title) + "</title>"), std::string::npos);
    } else {
      EXPECT_EQ(res->body.find("<title>"), std::string::npos);
    }
    EXPECT_NE(res->body.find(Sj(c.must_hold)), std::string::npos);
  }
  auto plain = Get("/selfclose.jsp");
  ASSERT_TRUE(plain);
  EXPECT_EQ(plain->body.find("onload"), std::string::npos);
}

TEST_F(SimTest, LinksPageOpensEveryTryOutPageInANewWindow) {
  auto links = Get("/links.jsp");
  ASSERT_TRUE(links);
  static const std::regex anchor(R"re(<a href="([^"]*)"( target="_blank")?>)re");
  std::set<std::string> found;
  for (std::sregex_iterator it(links->body.begin(), links->body.end(), anchor), end; it != end;
       ++it) {
    const std::string href = Unescape((*it)[1]);
    if (href == "/" || href == "/member/login/goLogin.jsp") continue;  // the banner
    SCOPED_TRACE(href);
    EXPECT_TRUE((*it)[2].matched);
    auto res = Get(href);
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 200);
    found.insert(href);
  }
  for (const char* want : {"/buddy/buddy_list.jsp", "/ch/lobby.jsp", "/pop/ad.jsp",
                           "/msg/inbox.jsp", "/generic.jsp", "/notitle.jsp", "/links.jsp",
                           "/@hanako", "/opener.jsp", "/selfclose.jsp", "/selfclose.jsp?auto=1"}) {
    EXPECT_TRUE(found.count(want)) << want;
  }
}

TEST(SimLifecycle, StartsOnAFreePortAndRefusesABusyOne) {
  hobnest::Sim a;
  const int port = a.Start(0);
  ASSERT_GT(port, 0);
  EXPECT_EQ(a.port(), port);
  EXPECT_EQ(a.Start(0), -1);  // already running

  hobnest::Sim b;
  EXPECT_EQ(b.Start(port), -1);  // taken by a

  a.Stop();
  EXPECT_EQ(a.port(), -1);
  EXPECT_EQ(b.Start(port), port);
  httplib::Client c("127.0.0.1", port);
  auto res = c.Get("/");
  ASSERT_TRUE(res);
  EXPECT_EQ(res->status, 200);
}

}  // namespace
