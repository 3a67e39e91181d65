// Alignment layout, as the original form library computed it: a pure function of the container's
// client rectangle and its children's alignments, bounds and visibility.
#pragma once

#include <vector>

#include "ui/types.h"

namespace ui {

struct LayoutItem {
  Align align = Align::None;
  Rect bounds;  // current bounds; their order decides among siblings of the same alignment
  bool visible = true;
};

// New bounds for every item (hidden and unaligned items keep theirs). Top-aligned items stack
// down in the order of their Top, bottom-aligned up in the order of their bottom edge (the
// lowest first), left-aligned right in the order of their Left, right-aligned left in the order
// of their right edge; client-aligned items take what is left. Ties keep the items' order.
std::vector<Rect> AlignLayout(const Rect& client, const std::vector<LayoutItem>& items);

}  // namespace ui
