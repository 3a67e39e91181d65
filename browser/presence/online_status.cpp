// The online status settings: the dialog TOnlStat, its number boxes and OnlStatus.txt.
#include <array>
#include <climits>
#include <optional>

#include "browser/MainForm.h"
#include "browser/OnlStatForm.h"
#include "browser/presence/status_file.h"
#include "browser/program.h"
#include "text/files.h"
#include "text/sjis.h"

namespace mirabo {

using namespace text::literals;

namespace {

const char kFile[] = "OnlStatus.txt";

const std::array<std::string, kStatusTexts>& DefaultTexts() {
  static const std::array<std::string, kStatusTexts> texts = {
      "只今活動中(☆∀☆)"_sj,     "一時退席中(* ^ーﾟ)"_sj,        "外出中(≧ω≦)！"_sj,
      "取り込み中(||  ﾟДﾟ)"_sj, "恐らく寝てます(ﾟДﾟ;≡;ﾟдﾟ)"_sj,
  };
  return texts;
}

// The whole text as a decimal integer; nothing when it is empty, holds anything but digits
// after an optional minus sign, or does not fit.
std::optional<long long> Decimal(const std::string& s) {
  std::size_t i = s.size() > 1 && s[0] == '-' ? 1 : 0;
  if (i == s.size()) return std::nullopt;
  long long v = 0;
  for (; i < s.size(); ++i) {
    if (s[i] < '0' || s[i] > '9') return std::nullopt;
    v = v * 10 + (s[i] - '0');
    if (v > INT_MAX) return std::nullopt;
  }
  return s[0] == '-' ? -v : v;
}

using ui::Place;

// A label sized to its caption, as an auto-sized label is: 6 pixels a byte, 12 high.
ui::Label* Caption(ui::Control* parent, const char* name, const std::string& caption, int left,
                   int top) {
  int width = static_cast<int>(caption.size()) * 6;
  return Place<ui::Label>(parent, name, caption, {left, top, width, 12});
}

}  // namespace

// One row of the number boxes' table.
struct TOnlStat::NumberBox {
  ui::Edit* TOnlStat::*box;
  int TOnlStat::*field;
  int min, max;
  int fallback;  // the field while the box's text is invalid
  const char* empty_text;
  int empty_value;  // the box's text and the field when it is left empty
  bool window_rule;
};

TOnlStat::TOnlStat(Program& p) : ui::Form(p.app, "OnlStat"), prog_(p) {
  SetCaption("オンラインステータス編集"_sj);
  SetBorderStyle(ui::BorderStyle::Dialog);
  SetPosition(ui::FormPosition::DesktopCenter);
  SetClientSize(420, 330);
  SetFont({"ＭＳ Ｐゴシック"_sj, -12, false, {0, 0, 0}});
  const ui::Color form_colour = color();

  Memo1 = Place<ui::Memo>(
      this, "Memo1",
      "オンラインステータス機能は、定期的にあなたのログページにメッセージを書き込"_sj + "\r\n" +
          "むことで、訪問者にあなたの状態を知らせます。"_sj,
      {8, 4, 409, 29});
  Memo1->SetReadOnly(true);
  Memo1->SetBorder(false);
  Memo1->SetColor(form_colour);

  GroupBox1 =
      Place<ui::GroupBox>(this, "GroupBox1", "ステータスメッセージの編集"_sj, {0, 40, 201, 217});
  EditStatus = Place<ui::Edit>(GroupBox1, "EditStatus", "", {8, 20, 145, 20});
  EditStatus->SetMaxLength(128);
  Button1 = Place<ui::Button>(GroupBox1, "Button1", "変更"_sj, {160, 20, 33, 20});
  Button1->OnClick = [this] { Button1Click(); };
  StatusList = Place<ui::ListBox>(GroupBox1, "StatusList", "", {8, 48, 185, 161});
  StatusList->SetItemHeight(12);
  StatusList->OnClick = [this] { StatusListClick(); };

  GroupBox2 =
      Place<ui::GroupBox>(this, "GroupBox2", "ステータスを書き込む頻度"_sj, {208, 40, 209, 49});
  EditInterval = Place<ui::Edit>(GroupBox2, "EditInterval", "5", {8, 20, 33, 20});
  Label1 = Caption(GroupBox2, "Label1", "分間に１回"_sj, 48, 24);

  gbSleep =
      Place<ui::GroupBox>(this, "gbSleep", "寝落ちステータス移行条件の設定"_sj, {208, 96, 209, 97});
  EditTime0 = Place<ui::Edit>(gbSleep, "EditTime0", "0", {8, 18, 25, 20});
  LabelTime0 = Caption(gbSleep, "LabelTime0", "時"_sj, 36, 21);
  EditTime1 = Place<ui::Edit>(gbSleep, "EditTime1", "00", {51, 18, 25, 20});
  LabelTime1 = Caption(gbSleep, "LabelTime1", "分 ～"_sj, 78, 21);
  EditTime2 = Place<ui::Edit>(gbSleep, "EditTime2", "0", {112, 18, 25, 20});
  LabelTime2 = Caption(gbSleep, "LabelTime2", "時"_sj, 141, 21);
  EditTime3 = Place<ui::Edit>(gbSleep, "EditTime3", "00", {157, 18, 25, 20});
  LabelTime3 = Caption(gbSleep, "LabelTime3", "分"_sj, 184, 21);
  LabelTime4 = Caption(gbSleep, "LabelTime4", "上記の時間帯で"_sj, 8, 48);
  EditSleepInterval = Place<ui::Edit>(gbSleep, "EditSleepInterval", "15", {8, 69, 25, 20});
  EditSleepInterval->SetMaxLength(3);
  LabelSleepInterval =
      Caption(gbSleep, "LabelSleepInterval", "分以上マウス操作がない時"_sj, 35, 73);
  for (ui::Edit* e : {EditTime0, EditTime1, EditTime2, EditTime3}) {
    e->SetMaxLength(2);
    e->SetHint("同一時刻を指定することで、寝落ちは無効になります。"_sj);
    e->SetShowHint(true);
  }

  gbShutdown =
      Place<ui::GroupBox>(this, "gbShutdown", "自動シャットダウンの設定"_sj, {208, 200, 209, 57});
  EditShutdownInterval = Place<ui::Edit>(gbShutdown, "EditShutdownInterval", "30", {8, 13, 25, 20});
  EditShutdownInterval->SetMaxLength(3);
  LabelShutdownInterval =
      Caption(gbShutdown, "LabelShutdownInterval", "分以上 寝落ち状態の時"_sj, 35, 19);
  cbAutoShutdown = Place<ui::CheckBox>(gbShutdown, "cbAutoShutdown",
                                       "Windowsを終了して、電源を切る"_sj, {8, 36, 193, 17});
  cbAutoShutdown->OnClick = [this] { cbAutoShutdownClick(); };

  // Everything of the sleep and shut-down settings starts disabled.
  for (ui::Control* c : std::initializer_list<ui::Control*>{
           gbSleep, EditTime0, LabelTime0, EditTime1, LabelTime1, EditTime2, LabelTime2, EditTime3,
           LabelTime3, LabelTime4, EditSleepInterval, LabelSleepInterval, gbShutdown,
           EditShutdownInterval, LabelShutdownInterval, cbAutoShutdown})
    c->SetEnabled(false);

  Memo2 =
      Place<ui::Memo>(this, "Memo2", "※ あなたが寝てしまった時に発生する寝落ちステータスです。"_sj,
                      {21, 268, 372, 13});
  Memo2->SetReadOnly(true);
  Memo2->SetBorder(false);
  Memo2->SetColor(form_colour);
  Button2 = Place<ui::Button>(this, "Button2", "操作ガイド"_sj, {128, 288, 161, 33});
  Button2->OnClick = [this] { Button2Click(); };

  for (const NumberBox& row : NumberBoxes()) {
    ui::Edit* box = this->*row.box;
    box->OnChange = [this, box] { NumberBoxChange(*box); };
    box->OnExit = [this, box] { NumberBoxExit(*box); };
  }
  OnShow = [this] { FormShow(); };
  OnClose = [this] { FormClose(); };
}

// The boxes, their fields and their rules.
std::span<const TOnlStat::NumberBox> TOnlStat::NumberBoxes() {
  using T = TOnlStat;
  static const NumberBox table[] = {
      {&T::EditInterval, &T::WriteInterval, 1, 999, 5, "5", 5, false},
      {&T::EditTime0, &T::SleepStartHour, 0, 23, 0, "0", 0, true},
      {&T::EditTime1, &T::SleepStartMinute, 0, 59, 0, "0", 0, true},
      {&T::EditTime2, &T::SleepEndHour, 0, 23, 0, "0", 0, true},
      {&T::EditTime3, &T::SleepEndMinute, 0, 59, 0, "0", 0, true},
      {&T::EditSleepInterval, &T::SleepMinutes, 1, 999, 0, "15", 15, false},
      {&T::EditShutdownInterval, &T::ShutdownMinutes, 1, 999, 0, "30", 30, false},
  };
  return table;
}

const TOnlStat::NumberBox* TOnlStat::RowOf(const ui::Edit& box) const {
  for (const NumberBox& row : NumberBoxes())
    if (this->*row.box == &box) return &row;
  return nullptr;
}

void TOnlStat::NumberBoxChange(ui::Edit& box) {
  const NumberBox* row = RowOf(box);
  if (!row) return;
  std::optional<long long> v = Decimal(box.text());
  if (v && *v >= row->min && *v <= row->max) {
    int n = static_cast<int>(*v);
    this->*row->field = n;
    box.SetText(std::to_string(n));  // "07" becomes "7"
  } else {
    this->*row->field = row->fallback;
    box.SetText("");
  }
}

void TOnlStat::NumberBoxExit(ui::Edit& box) {
  const NumberBox* row = RowOf(box);
  if (!row) return;
  if (box.text().empty()) {
    box.SetText(row->empty_text);
    this->*row->field = row->empty_value;
  }
  if (row->window_rule) SleepWindowRule();
}

bool TOnlStat::SleepWindowOff() const {
  return SleepStartHour == SleepStartMinute && SleepStartMinute == SleepEndHour &&
         SleepEndHour == SleepEndMinute;
}

std::string TOnlStat::StatusText(int i) const {
  return i >= 0 && i < StatusList->count() ? StatusList->items()[i] : std::string();
}

void TOnlStat::SleepWindowRule() {
  bool on = !SleepWindowOff();
  for (ui::Control* c : std::initializer_list<ui::Control*>{EditSleepInterval, LabelSleepInterval,
                                                            EditShutdownInterval,
                                                            LabelShutdownInterval, cbAutoShutdown})
    c->SetEnabled(on);
}

void TOnlStat::SetStatusCaptions() {
  TMain& main = *prog_.Main;
  for (int i = 0; i < kStatusTexts; ++i) main.NST[i]->SetCaption(StatusText(i));
  for (int i = 0; i < kStatusTexts; ++i) main.NST_2[i]->SetCaption(StatusText(i));
}

void TOnlStat::LoadSettings() {
  std::optional<std::string> bytes = text::ReadAll(kFile);
  StatusList->Clear();
  if (!bytes) {
    WriteInterval = 5;
    SleepStartHour = SleepStartMinute = SleepEndHour = SleepEndMinute = 0;
    SleepMinutes = 15;
    ShutdownMinutes = 30;
    AutoShutdown = true;
    for (const std::string& t : DefaultTexts()) StatusList->AddItem(t);
    SetStatusCaptions();
  } else {
    StatusFile f = ParseStatusFile(*bytes);
    for (const std::string& t : f.texts) StatusList->AddItem(t);
    SetStatusCaptions();
    // The numbers the line supplies; the fields after them keep what they held.
    int* fields[] = {&WriteInterval,  &SleepStartHour, &SleepStartMinute, &SleepEndHour,
                     &SleepEndMinute, &SleepMinutes,   &ShutdownMinutes};
    for (std::size_t i = 0; i < f.numbers.size() && i < std::size(fields); ++i)
      *fields[i] = f.numbers[i];
    if (f.numbers.size() == kStatusNumbers) AutoShutdown = f.numbers[7] == 1;
  }
  // The boxes show the fields as they stand: a number from the file is taken without the
  // boxes' range rules, which belong to typing.
  int values[] = {WriteInterval,  SleepStartHour, SleepStartMinute, SleepEndHour,
                  SleepEndMinute, SleepMinutes,   ShutdownMinutes};
  ui::Edit* boxes[] = {EditInterval, EditTime0,         EditTime1,           EditTime2,
                       EditTime3,    EditSleepInterval, EditShutdownInterval};
  for (std::size_t i = 0; i < std::size(boxes); ++i)
    boxes[i]->SetCaption(std::to_string(values[i]));
  cbAutoShutdown->SetChecked(AutoShutdown);
}

void TOnlStat::SaveSettings() {
  std::array<int, kStatusNumbers> numbers = {WriteInterval,   SleepStartHour,      SleepStartMinute,
                                             SleepEndHour,    SleepEndMinute,      SleepMinutes,
                                             ShutdownMinutes, AutoShutdown ? 1 : 0};
  text::WriteAtomic(kFile, FormatStatusFile(StatusList->items(), numbers));
}

void TOnlStat::FormShow() {
  Memo2->SetVisible(false);
  LoadSettings();
  Button1->SetEnabled(false);
  EditStatus->SetEnabled(false);
}

void TOnlStat::FormClose() { SaveSettings(); }

void TOnlStat::StatusListClick() {
  int i = StatusList->item_index();
  if (i < 0) return;  // a click beside the items selects nothing
  // The whole text, even beyond what typing may put in the box.
  EditStatus->SetCaption(StatusList->items()[i]);
  EditStatus->SetEnabled(true);
  Button1->SetEnabled(true);
  const std::initializer_list<ui::Control*> window = {
      gbSleep,    gbShutdown, EditTime0,  EditTime1,  EditTime2, EditTime3,
      LabelTime0, LabelTime1, LabelTime2, LabelTime3, LabelTime4};
  if (i == kSleepStatus) {
    Memo2->SetVisible(true);
    for (ui::Control* c : window) c->SetEnabled(true);
    SleepWindowRule();
  } else {
    Memo2->SetVisible(false);
    for (ui::Control* c : window) c->SetEnabled(false);
    for (ui::Control* c : std::initializer_list<ui::Control*>{
             EditSleepInterval, LabelSleepInterval, EditShutdownInterval, LabelShutdownInterval,
             cbAutoShutdown})
      c->SetEnabled(false);
  }
}

void TOnlStat::Button1Click() {
  int i = StatusList->item_index();
  if (i < 0) return;
  StatusList->SetItem(i, EditStatus->text());
  TMain& main = *prog_.Main;
  main.NST[i]->SetCaption(EditStatus->text());
  main.NST_2[i]->SetCaption(EditStatus->text());
}

void TOnlStat::Button2Click() {
  // Opens the guide book at topic 64 once the guide book is part of the program.
}

void TOnlStat::cbAutoShutdownClick() { AutoShutdown = cbAutoShutdown->checked(); }

}  // namespace mirabo
