// A page's document as the program sees it: its frames and its elements in document order.
// Texts are Shift-JIS; tag names are upper case.
#pragma once

#include <cstddef>
#include <string>

namespace platform {

class Document {
 public:
  virtual ~Document() = default;

  // The frames of this document (FRAME and IFRAME windows), in order.
  virtual int FrameCount() = 0;
  enum class FrameAccess { Ok, NoWindow, NoDocument };
  // The document of frame i: Ok with *out set; NoWindow when the frame's window cannot be had;
  // NoDocument when its document is out of reach (another origin). The pointer lives as long as
  // this document.
  virtual FrameAccess Frame(int i, Document** out) = 0;

  // All elements, in document order.
  virtual std::size_t ElementCount() = 0;
  virtual std::string TagName(std::size_t i) = 0;
  virtual std::string OuterHtml(std::size_t i) = 0;
  // Replaces element i's outer HTML; the change lands on that element in the page.
  virtual void SetOuterHtml(std::size_t i, const std::string& html) = 0;
};

}  // namespace platform
