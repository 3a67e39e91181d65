// The login manager TLogin: a small stay-on-top window with the member ID and password, whose ID
// field is the program's one holder of the member's own ID.
#pragma once

#include "ui/control.h"
#include "ui/form.h"
#include "ui/timer.h"

namespace mirabo {

class Program;

class TLogin : public ui::Form {
 public:
  explicit TLogin(Program& program);

  ui::Label* Label4;
  ui::Edit* UserID;
  ui::Label* Label1;
  ui::Edit* PassWord;
  ui::Button* Button1;
  ui::Timer Timer1;

  void Button1Click();   // the login
  void Timer1Timer() {}  // designed with nothing to do
  void FormShow();
  void FormClose();

 private:
  Program& prog_;
};

}  // namespace mirabo
