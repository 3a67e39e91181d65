// The online status page posted to the member's own guestbook, and what the writer reads from
// the guestbook's answers.
#pragma once

#include <optional>
#include <string>

namespace mirabo {

// The status page: a form posting homepage = member_id, cpg = 1, message = status_text and
// avatar = avatar_code to action, submitted by the page's own script. Its heading says that the
// avatar code is being fetched while avatar_code is empty. The values are escaped, so the site
// receives exactly them.
std::string StatusPage(const std::string& action, const std::string& member_id,
                       const std::string& status_text, const std::string& avatar_code);

// The guestbook's answer when it refuses the member: an element holding this text.
bool RefusesPost(const std::string& outer_html);

// The avatar code an element of an answer page carries, as it is sent ("11" appended): the
// text behind "name='avatar' value='", up to a double quote and at most 64 characters, when it
// is longer than three bytes. Nothing otherwise.
std::optional<std::string> AvatarCodeIn(const std::string& outer_html);

}  // namespace mirabo
