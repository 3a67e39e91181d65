// The visit list editor TVisit. The list and its menus come with the visit list.
#pragma once

#include "ui/form.h"

namespace mirabo {

class Program;

class TVisit : public ui::Form {
 public:
  explicit TVisit(Program& program);
};

}  // namespace mirabo
