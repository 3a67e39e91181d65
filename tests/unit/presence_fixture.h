// A logged-in Mirabo on the fake platform, for the online status, the status writer and the
// sleep detection; and the guestbook's answers as the site sends them.
#pragma once

#include <memory>
#include <string>

#include "browser/OnlStatForm.h"
#include "browser/PowerOffForm.h"
#include "tests/unit/program_fixture.h"

namespace mirabo::testing {

inline const std::string kGuestbook = "http://app.test/logs/logs_insert_e.jsp";

// An element of a guestbook answer carrying an avatar code as the site's script did.
inline std::string AvatarScript(const std::string& code) {
  return "<script type=\"text/javascript\">document.write(\"<input type='hidden' "
         "name='avatar' value='" +
         code + "\" + \"11'>\");</script>";
}

// The guestbook's answer page: its elements in order; a code puts the avatar script in it.
inline std::unique_ptr<fake::Document> Answer(const std::string& code = {}) {
  auto doc = std::make_unique<fake::Document>();
  doc->AddElement("HTML", "");
  doc->AddElement("A", "<a href=\"/@taro\">back</a>");
  if (!code.empty()) doc->AddElement("SCRIPT", AvatarScript(code));
  return doc;
}

// The answer of a guestbook that refuses the member.
inline std::unique_ptr<fake::Document> Refusal() {
  auto doc = std::make_unique<fake::Document>();
  doc->AddElement("SCRIPT", text::ToSjis("<script>alert(\"権限がないです\");</script>"));
  return doc;
}

class PresenceTest : public ProgramTest {
 protected:
  void SetUp() override {
    ProgramTest::SetUp();
    StartLoggedIn();
  }
  // Starts with a saved ID, loads both fixed tabs and logs in.
  void StartLoggedIn() {
    Start();
    LoadFixedTabs();
    login().Button1->Click();
    engine(0).Complete("http://site.test/member/login/login_login_e.jsp");
  }

  TOnlStat& onlstat() { return *program->OnlStat; }
  TPowerOff& poweroff() { return *program->PowerOff; }
  ui::MenuItem& nst(int i) { return *main().NST.at(i); }
  ui::MenuItem& nst2(int i) { return *main().NST_2.at(i); }
  fake::Engine& status_engine() { return EngineOf(main().StatusBrowser()); }
  std::string Text(int i) { return onlstat().StatusText(i); }
  ui::TabSheet* SheetAt(int slot) {
    return static_cast<ui::TabSheet*>(main().BrowserSlots.at(slot)->parent());
  }
};

}  // namespace mirabo::testing
