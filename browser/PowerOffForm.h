// The shut-down count-down window TPowerOff. Its count-down comes with the sleep detection.
#pragma once

#include "ui/form.h"

namespace mirabo {

class Program;

class TPowerOff : public ui::Form {
 public:
  explicit TPowerOff(Program& program);
};

}  // namespace mirabo
