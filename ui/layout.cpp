#include "ui/layout.h"

#include <algorithm>
#include <numeric>

namespace ui {

std::vector<Rect> AlignLayout(const Rect& client, const std::vector<LayoutItem>& items) {
  std::vector<Rect> out;
  out.reserve(items.size());
  for (const auto& it : items) out.push_back(it.bounds);

  Rect rest = client;
  auto ordered = [&](Align a, auto key) {
    std::vector<std::size_t> idx;
    for (std::size_t i = 0; i < items.size(); ++i)
      if (items[i].visible && items[i].align == a) idx.push_back(i);
    std::stable_sort(idx.begin(), idx.end(),
                     [&](std::size_t x, std::size_t y) { return key(x) < key(y); });
    return idx;
  };

  for (std::size_t i : ordered(Align::Top, [&](std::size_t i) { return items[i].bounds.top; })) {
    int h = std::min(items[i].bounds.height, std::max(rest.height, 0));
    out[i] = {rest.left, rest.top, rest.width, h};
    rest.top += h;
    rest.height -= h;
  }
  for (std::size_t i :
       ordered(Align::Bottom, [&](std::size_t i) { return -items[i].bounds.bottom(); })) {
    int h = std::min(items[i].bounds.height, std::max(rest.height, 0));
    out[i] = {rest.left, rest.bottom() - h, rest.width, h};
    rest.height -= h;
  }
  for (std::size_t i : ordered(Align::Left, [&](std::size_t i) { return items[i].bounds.left; })) {
    int w = std::min(items[i].bounds.width, std::max(rest.width, 0));
    out[i] = {rest.left, rest.top, w, rest.height};
    rest.left += w;
    rest.width -= w;
  }
  for (std::size_t i :
       ordered(Align::Right, [&](std::size_t i) { return -items[i].bounds.right(); })) {
    int w = std::min(items[i].bounds.width, std::max(rest.width, 0));
    out[i] = {rest.right() - w, rest.top, w, rest.height};
    rest.width -= w;
  }
  for (std::size_t i = 0; i < items.size(); ++i)
    if (items[i].visible && items[i].align == Align::Client)
      out[i] = {rest.left, rest.top, std::max(rest.width, 0), std::max(rest.height, 0)};
  return out;
}

}  // namespace ui
