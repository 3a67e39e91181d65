#include "browser/templates/placeholders.h"

namespace mirabo {

std::string ExpandPlaceholders(std::string body, const platform::LocalTime& now) {
  const std::pair<const char*, int> fields[] = {
      {"&hour", now.hour}, {"&min", now.minute}, {"&sec", now.second},
      {"&year", now.year}, {"&mon", now.month},  {"&day", now.day},
  };
  for (const auto& [placeholder, value] : fields) {
    std::size_t at = body.find(placeholder);
    if (at != std::string::npos)
      body.replace(at, std::char_traits<char>::length(placeholder), std::to_string(value));
  }
  return body;
}

}  // namespace mirabo
