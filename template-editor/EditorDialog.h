// Quillet's one window: the six template texts as pages, one shown at a time with its heading,
// its title field and its body field, the two paging buttons and the save button.
#pragma once

#include <cstddef>

#include "text/teikei.h"
#include "ui/control.h"
#include "ui/form.h"

namespace quillet {

class Program;

class EditorDialog : public ui::Form {
 public:
  // The longest body that can be saved, in bytes of its CR LF form.
  static constexpr std::size_t kBodyLimit = 1000;
  // The longest title, in bytes: four full-width characters.
  static constexpr int kTitleLimit = 8;

  // entries: bodies in CR LF form; page: 0 to 5. The modified flag starts clear.
  EditorDialog(Program& program, const text::TeikeiEntries& entries, int page);
  ~EditorDialog() override;

  // --- controls, in the dialog's tab order ---
  ui::Label* Heading;     // "F1キーで挿入する定型文の編集" and so on
  ui::Label* TitleLabel;  // "タイトル"
  ui::Edit* TitleEdit;
  ui::Button* PrevPage;  // "前のページ"
  ui::Button* NextPage;  // "次のページ"
  ui::Memo* BodyEdit;
  ui::Label* TabNote;      // "※タブ入力は CTRL+I"
  ui::Button* SaveButton;  // "ファイルに保存", the default button

  int page() const { return page_; }
  bool modified() const { return modified_; }
  // The six entries as last taken from the fields (a page's edits are taken when another page
  // is shown and when saving).
  const text::TeikeiEntries& entries() const { return entries_; }

  // The paging buttons: the fields go into the current page's entry, then the page before or
  // after is shown, wrapping round. The modified flag stays as it is.
  void PrevPageClick();
  void NextPageClick();
  // The save button: checks every body against the limit, writes the file and the marker, and
  // reports. true when the file was written.
  bool SaveButtonClick();
  // The close box: asks whether to save first when anything was changed, then closes whatever
  // the save did.
  void DialogClose();
  // Escape: closes at once, without the question.
  void CancelExecute();

 private:
  void BuildControls();
  void TakeFields();
  void ShowPage(int page);

  Program& prog_;
  text::TeikeiEntries entries_;
  int page_ = 0;
  bool modified_ = false;
};

}  // namespace quillet
