#include "browser/member/form_page.h"

#include "text/html.h"
#include "text/sjis.h"

namespace mirabo {

using namespace text::literals;

void WriteFormPage(platform::WebBrowser& browser, const std::string& page,
                   const std::string& action) {
  browser.WritePage(page, action);
}

std::string LoginPage(const std::string& action, const std::string& id,
                      const std::string& password) {
  static const std::string head =
      "<html><head><title>自動ログイン</title></head><body onLoad='javascript:a.submit();'>"
      "<center><br><br><br><br><br><h1>ログインしています。<br>しばらくお待ちください…</h1>"
      "</center><form name=a method=post action="_sj;
  return head + action + "><input type=hidden name=id value='" + text::EscapeHtml(id) +
         "'></td><input type=hidden name=password value='" + text::EscapeHtml(password) +
         "'></form></body></html>";
}

}  // namespace mirabo
