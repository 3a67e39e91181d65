// A window: a control with a caption, a border style, a menu, an action list and show/close.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "ui/action.h"
#include "ui/control.h"
#include "ui/menu.h"

namespace ui {

enum class BorderStyle { Sizeable, Dialog, None };
enum class FormPosition { Designed, ScreenCenter, DesktopCenter };

class Form : public Control {
 public:
  Form(Application& app, std::string name);
  ~Form() override;

  Application& application() const { return app_; }

  BorderStyle border_style() const { return border_; }
  void SetBorderStyle(BorderStyle b);
  bool stay_on_top() const { return stay_on_top_; }
  void SetStayOnTop(bool on);
  FormPosition position() const { return position_; }
  void SetPosition(FormPosition p);
  bool key_preview() const { return key_preview_; }
  void SetKeyPreview(bool on) { key_preview_ = on; }
  // The client area; a form's bounds are its outer size, which the renderer keeps apart.
  void SetClientSize(int width, int height);
  int client_width() const { return width(); }
  int client_height() const { return height(); }

  // Maximised or at its normal size.
  bool maximized() const { return maximized_; }
  void SetMaximized(bool on);

  Menu* main_menu() const { return main_menu_.get(); }
  Menu& CreateMainMenu(std::string name);
  Menu* popup_menu() const { return popup_menu_.get(); }
  Menu& CreatePopupMenu(std::string name);
  ActionList& actions() { return actions_; }

  // Shows the form (without a modal loop). Creates the renderer's peers on first show.
  void Show();
  // Runs OnClose, then hides the form. Closing the application's main form ends the program.
  void Close();
  void Hide();

  std::function<void()> OnShow;
  std::function<void()> OnClose;

  // Presses the form's default button, as Enter in one of its fields does.
  bool PressDefault();

 private:
  Application& app_;
  BorderStyle border_ = BorderStyle::Sizeable;
  bool stay_on_top_ = false;
  FormPosition position_ = FormPosition::Designed;
  bool key_preview_ = false;
  bool maximized_ = false;
  std::unique_ptr<Menu> main_menu_;
  std::unique_ptr<Menu> popup_menu_;
  ActionList actions_;
};

}  // namespace ui
