#include "template-editor/EditorDialog.h"

#include <string>

#include "template-editor/program.h"
#include "text/sjis.h"
#include "ui/application.h"

namespace quillet {

using namespace text::literals;

namespace {

// The dialog was laid out in dialog units of its font, ＭＳ Ｐゴシック at 9 points (12
// pixels), whose base units are 7 x 12 pixels (the mean width of the Latin letters, and the
// height): a unit is a quarter of the base width and an eighth of the base height.
constexpr int kBaseX = 7, kBaseY = 12;

int Scale(int units, int base, int per_base) {
  return (units * base * 2 + per_base) / (2 * per_base);  // rounded to the nearest pixel
}
ui::Rect Dlu(int x, int y, int w, int h) {
  return {Scale(x, kBaseX, 4), Scale(y, kBaseY, 8), Scale(w, kBaseX, 4), Scale(h, kBaseY, 8)};
}

using ui::Place;

std::string HeadingOf(int page) {
  return text::TeikeiKeyName(page) + "キーで挿入する定型文の編集"_sj;
}

// A title holds no line break: whatever a paste brought after one is not part of it.
std::string OneLine(const std::string& s) { return s.substr(0, s.find_first_of("\r\n")); }

}  // namespace

EditorDialog::EditorDialog(Program& p, const text::TeikeiEntries& entries, int page)
    : ui::Form(p.app, "EditorDialog"), prog_(p), entries_(entries) {
  BuildControls();
  actions().Add("Cancel", {ui::key::Escape})->OnExecute = [this] { CancelExecute(); };
  OnClose = [this] { DialogClose(); };
  ShowPage(page);
  modified_ = false;
}

EditorDialog::~EditorDialog() = default;

void EditorDialog::BuildControls() {
  SetCaption("定型文エディター for Mirabo Version 1.1"_sj);
  SetBorderStyle(ui::BorderStyle::Dialog);
  SetPosition(ui::FormPosition::ScreenCenter);
  ui::Rect client = Dlu(0, 0, 183, 112);
  SetClientSize(client.width, client.height);
  SetFont({"ＭＳ Ｐゴシック"_sj, -12, false, {0, 0, 0}});

  Heading = Place<ui::Label>(this, "Heading", "", Dlu(4, 3, 175, 8));
  Heading->SetAlignment(ui::TextAlign::Center);
  TitleLabel = Place<ui::Label>(this, "TitleLabel", "タイトル"_sj, Dlu(7, 19, 22, 12));
  TitleEdit = Place<ui::Edit>(this, "TitleEdit", "", Dlu(32, 17, 37, 14));
  TitleEdit->SetMaxLength(kTitleLimit);
  TitleEdit->OnChange = [this] { modified_ = true; };
  PrevPage = Place<ui::Button>(this, "PrevPage", "前のページ"_sj, Dlu(82, 15, 42, 16));
  PrevPage->OnClick = [this] { PrevPageClick(); };
  NextPage = Place<ui::Button>(this, "NextPage", "次のページ"_sj, Dlu(136, 15, 43, 16));
  NextPage->OnClick = [this] { NextPageClick(); };
  BodyEdit = Place<ui::Memo>(this, "BodyEdit", "", Dlu(4, 34, 175, 59));
  BodyEdit->OnChange = [this] { modified_ = true; };
  TabNote = Place<ui::Label>(this, "TabNote", "※タブ入力は CTRL+I"_sj, Dlu(4, 98, 66, 12));
  SaveButton = Place<ui::Button>(this, "SaveButton", "ファイルに保存"_sj, Dlu(105, 95, 74, 14));
  SaveButton->SetDefault(true);
  SaveButton->OnClick = [this] { SaveButtonClick(); };
}

void EditorDialog::TakeFields() {
  entries_[page_] = {OneLine(TitleEdit->text()), BodyEdit->text()};
}

// Showing a page is no edit: the fields are set as the program sets them, without OnChange.
void EditorDialog::ShowPage(int page) {
  page_ = page;
  TitleEdit->SetCaption(entries_[page].title);
  BodyEdit->SetCaption(entries_[page].body);
  Heading->SetCaption(HeadingOf(page));
}

void EditorDialog::PrevPageClick() {
  TakeFields();
  ShowPage(page_ == 0 ? text::kTeikeiCount - 1 : page_ - 1);
}

void EditorDialog::NextPageClick() {
  TakeFields();
  ShowPage(page_ == text::kTeikeiCount - 1 ? 0 : page_ + 1);
}

bool EditorDialog::SaveButtonClick() {
  platform::Dialogs& dialogs = prog_.platform.dialogs;
  TakeFields();
  for (int i = 0; i < text::kTeikeiCount; ++i) {
    if (entries_[i].body.size() > kBodyLimit) {
      dialogs.MessageBox(text::TeikeiKeyName(i) + "の本文が1000字をこえています。"_sj,
                         "保存できません。"_sj);
      return false;
    }
  }
  if (!text::SaveTeikeiFromEditor(entries_)) {
    dialogs.MessageBox("定型文ファイル（Teikei.dat）に書き込めないため、保存できませんでした。"_sj,
                       "報告"_sj);
    return false;
  }
  modified_ = false;
  dialogs.MessageBox("保存しました。"_sj, "報告"_sj);
  return true;
}

void EditorDialog::DialogClose() {
  if (!modified_) return;
  platform::Answer a = prog_.platform.dialogs.MessageBox(
      "更新された内容を保存してから終了しますか？"_sj, "確認"_sj, platform::Buttons::YesNo);
  if (a == platform::Answer::Yes) SaveButtonClick();
}

void EditorDialog::CancelExecute() {
  Hide();
  application().Terminate();
}

}  // namespace quillet
