// The stand-in site's guestbook: posts need the session, are kept with their avatar field and
// shown newest first; its pages carry the visitor's avatar code the way the site's did; a
// refusing guestbook keeps nothing.
#include <gtest/gtest.h>
#include <httplib.h>

#include <memory>
#include <string>

#include "browser/presence/status_page.h"
#include "hobnest-sim/sim.h"
#include "text/sjis.h"

namespace {

constexpr char kInsert[] = "/logs/logs_insert_e.jsp";

std::string Form(std::initializer_list<std::pair<const char*, std::string>> fields) {
  std::string body;
  for (const auto& [name, utf8] : fields) {
    if (!body.empty()) body += '&';
    body += std::string(name) + "=";
    for (unsigned char c : text::ToSjis(utf8)) {
      char buf[4];
      std::snprintf(buf, sizeof buf, "%%%02X", c);
      body += buf;
    }
  }
  return body;
}

class GuestbookSimTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_GT(sim_.Start(0), 0);
    client_ = std::make_unique<httplib::Client>("127.0.0.1", sim_.port());
    client_->set_read_timeout(5);
    auto login = client_->Post("/member/login/login_login_e.jsp",
                               Form({{"id", "taro"}, {"password", "taro-pass"}}),
                               "application/x-www-form-urlencoded");
    ASSERT_TRUE(login);
    std::string set_cookie = login->get_header_value("Set-Cookie");
    session_ = set_cookie.substr(0, set_cookie.find(';'));
    ASSERT_FALSE(session_.empty());
  }
  // Posts to owner's guestbook; the answer as the program's reader sees it (Shift-JIS).
  std::string Post(const std::string& owner, const std::string& message, const std::string& avatar,
                   bool with_session = true) {
    httplib::Headers h;
    if (with_session) h.emplace("Cookie", session_);
    auto res = client_->Post(
        kInsert, h,
        Form({{"homepage", owner}, {"cpg", "1"}, {"message", message}, {"avatar", avatar}}),
        "application/x-www-form-urlencoded");
    return res ? res->body : std::string();
  }

  hobnest::Sim sim_;
  std::unique_ptr<httplib::Client> client_;
  std::string session_;
};

TEST_F(GuestbookSimTest, APostIsKeptAndTheAnswerCarriesTheAvatarCode) {
  const std::string code = sim_.AvatarCode("taro");
  ASSERT_GT(code.size(), 3u);
  const std::string message = "外出中 ｶﾞｲｼｭﾂ \"q\" <b> & 'a'";
  std::string answer = Post("taro", message, "");
  auto book = sim_.Guestbook("taro");
  ASSERT_EQ(book.size(), 1u);
  EXPECT_EQ(book[0].message, message);
  EXPECT_EQ(book[0].writer_id, "taro");
  EXPECT_EQ(book[0].avatar, "");
  // The reader of the answer finds the code as the site's script carried it.
  std::optional<std::string> found;
  for (std::size_t at = answer.find("<script"); at != std::string::npos;
       at = answer.find("<script", at + 1)) {
    std::size_t end = answer.find("</script>", at);
    if (auto c = mirabo::AvatarCodeIn(answer.substr(at, end - at))) found = c;
  }
  EXPECT_EQ(found, code + "11");
  EXPECT_FALSE(mirabo::RefusesPost(answer));

  Post("taro", "second", code + "11");
  book = sim_.Guestbook("taro");
  ASSERT_EQ(book.size(), 2u);
  EXPECT_EQ(book[1].avatar, code + "11");
  // The guestbook page shows the newest first, the avatar beside the post that carried it.
  auto page = client_->Get("/logs/logs_list.jsp?homepage=taro");
  ASSERT_TRUE(page);
  const std::string html = text::ToUtf8(page->body);
  std::size_t second = html.find("second"), first = html.find("ｶﾞｲｼｭﾂ &quot;q&quot;");
  ASSERT_NE(second, std::string::npos);
  ASSERT_NE(first, std::string::npos);
  EXPECT_LT(second, first);
  EXPECT_NE(html.find("[" + code + "]</span> <b>太郎</b> &gt; second"), std::string::npos);
  EXPECT_EQ(html.find("[" + code + "]</span> <b>太郎</b> &gt; 外出中"), std::string::npos);
}

TEST_F(GuestbookSimTest, WithoutASessionOrWhenRefusedNothingIsKept) {
  std::string answer = Post("taro", "anonymous", "", /*with_session=*/false);
  EXPECT_NE(text::ToUtf8(answer).find("ログインしてください。"), std::string::npos);
  EXPECT_TRUE(sim_.Guestbook("taro").empty());

  sim_.SetGuestbookRefuses("taro", true);
  answer = Post("taro", "refused", "");
  EXPECT_TRUE(sim_.Guestbook("taro").empty());
  std::size_t script = answer.find("<script");
  ASSERT_NE(script, std::string::npos);
  EXPECT_TRUE(mirabo::RefusesPost(answer.substr(script, answer.find("</script>") - script)))
      << "the refusal sits where the reader looks: in the page's script";
  EXPECT_EQ(sim_.Posts().size(), 3u) << "every post is logged, kept or not";

  sim_.SetGuestbookRefuses("taro", false);
  Post("taro", "again", "");
  EXPECT_EQ(sim_.Guestbook("taro").size(), 1u);
  EXPECT_EQ(sim_.AvatarCode("nobody"), "");
}

}  // namespace
