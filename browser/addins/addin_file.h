// addin.txt: an add-in's description, in sections "[HINT]", "[PATH]", "[PRAM]", "[ICON]".
#pragma once

#include <optional>
#include <string>

namespace mirabo {

struct AddInFile {
  // Each is absent when its tag is not found.
  std::optional<std::string> hint, path, param, icon;
};

// The tags are looked for in that order, each in the text after the previous tag found; a value
// runs from its tag to the next LF, less the CR in front of the LF when there is one, and a value
// without an LF after it is empty.
AddInFile ParseAddInFile(const std::string& text);

}  // namespace mirabo
