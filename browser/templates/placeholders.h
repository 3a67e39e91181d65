// The date and time placeholders of the template texts.
#pragma once

#include <string>

#include "platform/services.h"

namespace mirabo {

// Replaces the first "&hour", "&min", "&sec", "&year", "&mon" and "&day", in that order, by the
// number (decimal, no leading zeros); later ones, and upper-case spellings, stay as typed.
std::string ExpandPlaceholders(std::string body, const platform::LocalTime& now);

}  // namespace mirabo
