// The online status settings dialog TOnlStat. Its settings come with the online status.
#pragma once

#include "ui/form.h"

namespace mirabo {

class Program;

class TOnlStat : public ui::Form {
 public:
  explicit TOnlStat(Program& program);
};

}  // namespace mirabo
