// The browser control of a tab: a control that holds one engine, with the events the main
// window binds its handlers to. Its tag is the busy mark.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "platform/browser_engine.h"
#include "ui/control.h"

namespace platform {

class Shell;

class WebBrowser : public ui::Control, private BrowserEngineEvents {
 public:
  // Creates a browser on `parent` with a new engine; nullptr (and nothing added) when the
  // engine cannot be created. related_to is the opener of a new window.
  static WebBrowser* Create(ui::Control* parent, const std::string& name, BrowserFactory& factory,
                            Shell& shell, WebBrowser* related_to = nullptr);

  WebBrowser(ui::Control* parent, std::string name, std::unique_ptr<BrowserEngine> engine,
             Shell& shell);
  ~WebBrowser() override;

  BrowserEngine& engine() { return *engine_; }

  void Navigate(const std::string& url) { engine_->Navigate(url); }
  void Refresh() { engine_->Refresh(); }
  void GoBack() { engine_->GoBack(); }
  void GoForward() { engine_->GoForward(); }
  std::string LocationUrl() { return engine_->LocationUrl(); }
  Document* GetDocument() { return engine_->GetDocument(); }
  void WritePage(const std::string& page, const std::string& base_url) {
    engine_->WritePage(page, base_url);
  }
  void InsertText(const std::string& text) { engine_->InsertText(text); }

  // The original control's settings, kept as the forms set them.
  bool silent = false;
  bool register_as_browser = true;
  bool register_as_drop_target = true;

  // Events; "binding a handler" assigns one.
  std::function<void(WebBrowser& sender, const std::string& url, bool& cancel)> OnBeforeNavigate2;
  // Set new_window to the browser that loads the page (the handler created it related to the
  // sender), or leave it null to let the page open in the desktop's browser; set cancel to drop
  // the window.
  std::function<void(WebBrowser& sender, WebBrowser*& new_window, bool& cancel)> OnNewWindow2;
  std::function<void(WebBrowser& sender, const std::string& title)> OnTitleChange;
  std::function<void(WebBrowser& sender, int progress, int progress_max)> OnProgressChange;
  std::function<void(WebBrowser& sender, Document* document, const std::string& url)>
      OnDocumentComplete;

 private:
  void BeforeNavigate(const std::string& url, bool& cancel) override;
  BrowserEngine* NewWindow(const std::string& url, bool& cancel) override;
  void TitleChange(const std::string& title) override;
  void ProgressChange(int progress, int progress_max) override;
  void DocumentComplete(const std::string& url) override;

  std::unique_ptr<BrowserEngine> engine_;
  Shell& shell_;
};

}  // namespace platform
