// The about box TAboutBox. Its contents come with the help menu.
#pragma once

#include "ui/form.h"

namespace mirabo {

class Program;

class TAboutBox : public ui::Form {
 public:
  explicit TAboutBox(Program& program);
};

}  // namespace mirabo
