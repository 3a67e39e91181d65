// Generated form pages: a page with one POST form of hidden inputs, written into a tab, whose
// script submits the form from inside the tab with its cookies.
#pragma once

#include <string>

#include "platform/web_browser.h"

namespace mirabo {

// Puts the page into the browser as its document; action is the form's address, which the page
// is given as its own so that it posts from the site's origin.
void WriteFormPage(platform::WebBrowser& browser, const std::string& page,
                   const std::string& action);

// The login page posting id and password to the login handler at action. The values are
// escaped, so the site receives exactly what was typed and no value puts markup into the page.
std::string LoginPage(const std::string& action, const std::string& id,
                      const std::string& password);

}  // namespace mirabo
