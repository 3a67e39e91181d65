// The online status settings dialog TOnlStat. Its fields and its status list are the live
// settings of the status writer and the sleep detection, whether the dialog is shown or not;
// OnlStatus.txt mirrors them (loaded at start and on every showing, saved on every close).
#pragma once

#include <span>
#include <string>

#include "ui/control.h"
#include "ui/form.h"

namespace mirabo {

class Program;

class TOnlStat : public ui::Form {
 public:
  static constexpr int kSleepStatus = 4;  // the asleep text's index

  explicit TOnlStat(Program& program);

  // --- controls (the form's own names) ---
  ui::Memo* Memo1;
  ui::GroupBox* GroupBox1;
  ui::Edit* EditStatus;
  ui::Button* Button1;
  ui::ListBox* StatusList;
  ui::GroupBox* GroupBox2;
  ui::Edit* EditInterval;
  ui::Label* Label1;
  ui::GroupBox* gbSleep;
  ui::Edit* EditTime0;
  ui::Label* LabelTime0;
  ui::Edit* EditTime1;
  ui::Label* LabelTime1;
  ui::Edit* EditTime2;
  ui::Label* LabelTime2;
  ui::Edit* EditTime3;
  ui::Label* LabelTime3;
  ui::Label* LabelTime4;
  ui::Edit* EditSleepInterval;
  ui::Label* LabelSleepInterval;
  ui::GroupBox* gbShutdown;
  ui::Edit* EditShutdownInterval;
  ui::Label* LabelShutdownInterval;
  ui::CheckBox* cbAutoShutdown;
  ui::Memo* Memo2;
  ui::Button* Button2;

  // --- the settings; all zero until the start-up load ---
  int WriteInterval = 0;  // minutes between two posts
  int SleepStartHour = 0;
  int SleepStartMinute = 0;
  int SleepEndHour = 0;
  int SleepEndMinute = 0;
  int SleepMinutes = 0;     // minutes without mouse movement that count as asleep
  int ShutdownMinutes = 0;  // length of the shut-down count-down
  bool AutoShutdown = false;

  // Fills the fields, the list and the ten status menu captions from OnlStatus.txt (the
  // defaults when it cannot be read), and shows the fields in the boxes.
  void LoadSettings();
  // Writes OnlStatus.txt from the list and the fields; a failure is not reported.
  void SaveSettings();
  // The sleep detection is off when the four time numbers are all the same.
  bool SleepWindowOff() const;
  // Status text i of the list; empty when there is no such item.
  std::string StatusText(int i) const;

  // --- handlers ---
  void FormShow();
  void FormClose();
  void StatusListClick();
  void Button1Click();  // "変更"
  void Button2Click();  // "操作ガイド"
  void cbAutoShutdownClick();
  // The number boxes' change and exit handlers (EditIntervalChange, EditTime0Exit, ...): one
  // rule for all seven, driven by their row in the boxes' table.
  void NumberBoxChange(ui::Edit& box);
  void NumberBoxExit(ui::Edit& box);

 private:
  struct NumberBox;
  static std::span<const NumberBox> NumberBoxes();
  const NumberBox* RowOf(const ui::Edit& box) const;
  void SleepWindowRule();
  void SetStatusCaptions();

  Program& prog_;
};

}  // namespace mirabo
