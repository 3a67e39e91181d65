// The add-in strip: a picture button per add-in folder, a click starts its program, and the
// strip hides itself to a thin edge when asked to.
#include <algorithm>

#include "browser/MainForm.h"
#include "browser/addins/addin_file.h"
#include "browser/program.h"
#include "text/files.h"
#include "text/sjis.h"

namespace mirabo {

using namespace text::literals;

namespace {

constexpr const char* kAddInFolder = "AddIn";
constexpr int kMaxAddIns = 32;

// Pictures are loaded by the kind their extension names.
bool IsPictureFile(const std::string& path) {
  std::string ext = path.substr(
      path.find_last_of('.') == std::string::npos ? path.size() : path.find_last_of('.'));
  std::transform(ext.begin(), ext.end(), ext.begin(),
                 [](unsigned char c) { return std::tolower(c); });
  return ext == ".ico" || ext == ".bmp" || ext == ".wmf" || ext == ".emf";
}

}  // namespace

void TMain::DoLoadAddInExecute() {
  std::optional<std::vector<std::string>> names = text::ListFolder(kAddInFolder);
  if (!names) return;
  const std::string default_icon = text::LocalPath("AddIn\\default.ico");
  for (const std::string& name : *names) {
    if (static_cast<int>(AddInEntries.size()) >= kMaxAddIns) break;
    // Every entry is tried as a folder, "." and ".." too, as the original scan did.
    const std::string folder = std::string(kAddInFolder) + "/" + name;
    std::optional<std::string> text = text::ReadHead(folder + "/addin.txt", 1024);
    if (!text) continue;
    const AddInFile file = ParseAddInFile(*text);
    const int k = static_cast<int>(AddInEntries.size());

    std::string picture = default_icon;
    if (file.icon) {
      std::string icon = text::LocalPath(folder + "\\" + *file.icon);
      if (text::Exists(icon)) picture = icon;
    }
    if (!text::Exists(picture) || !IsPictureFile(picture)) {
      // The picture cannot be loaded: say so, and the scan ends at this add-in.
      prog_.platform.dialogs.MessageBox(picture + " "_sj + "を読み込めません。"_sj, "Mirabo");
      return;
    }

    auto* button = AddInPanel->Add<ui::Panel>("AddIn" + std::to_string(k));
    button->SetBounds({7, 25 + 25 * k, 20, 20});
    button->SetTag(k);
    auto* image = button->Add<ui::Image>("AddInImage" + std::to_string(k));
    image->SetAlign(ui::Align::Client);
    image->SetCursor(ui::Cursor::HandPoint);
    image->SetTag(k);
    image->OnClick = [this, k] { AddInClick(k); };
    if (file.hint) {
      image->SetHint(*file.hint);
      image->SetShowHint(true);
    }
    image->SetPicture(picture);
    AddInEntries.push_back({file.path.value_or(""), file.param.value_or("")});
    AddInButtons.push_back(button);
  }
}

void TMain::AddInClick(int k) {
  if (k < 0 || k >= static_cast<int>(AddInEntries.size())) return;
  const AddInEntry& e = AddInEntries[k];
  // Nothing is checked beforehand and nothing is reported; an empty path starts nothing.
  if (!e.Path.empty()) prog_.platform.shell.Open(text::LocalPath(e.Path), e.Param);
}

void TMain::opAddInClick() { opAddIn->SetChecked(!opAddIn->checked()); }

void TMain::AddInAutoHide() {
  platform::Pointer& pointer = prog_.platform.pointer;
  // While another window (another program, or one of the browser's dialogs) is in front, the
  // strip keeps its state.
  if (!pointer.IsActive(*this)) return;
  platform::Point cursor = pointer.CursorPos();
  platform::Point origin = pointer.ClientOrigin(*this);
  const int x = cursor.x - origin.x, y = cursor.y - origin.y;
  const int top = MainArea->top() + ExPanel->top();
  const int bottom = top + ExPanel->height();
  const int left = MainArea->left();
  const bool rows = top < y && y < bottom;
  const bool edge = rows && left < x && x < left + 7;
  const bool open_box = rows && left < x && x < left + 32 && ExPanel->width() == 32;
  const bool open = edge || open_box || !opAddIn->checked();
  ExPanel->SetWidth(open ? 32 : 6);
  AddInPanel->SetVisible(open);
}

}  // namespace mirabo
