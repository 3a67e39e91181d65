#include "platform/web_browser.h"

#include "platform/services.h"

namespace platform {

WebBrowser* WebBrowser::Create(ui::Control* parent, const std::string& name,
                               BrowserFactory& factory, Shell& shell, WebBrowser* related_to) {
  std::unique_ptr<BrowserEngine> engine =
      factory.Create(related_to ? &related_to->engine() : nullptr);
  if (!engine) return nullptr;
  return parent->Add<WebBrowser>(name, std::move(engine), shell);
}

WebBrowser::WebBrowser(ui::Control* parent, std::string name, std::unique_ptr<BrowserEngine> engine,
                       Shell& shell)
    : ui::Control(parent, ui::Kind::Browser, std::move(name)),
      engine_(std::move(engine)),
      shell_(shell) {
  engine_->SetEvents(this);
}

WebBrowser::~WebBrowser() {
  engine_->SetEvents(nullptr);
  // The widget of the engine belongs to the peer's container: drop the peer first.
  SetPeer(nullptr);
  engine_.reset();
}

void WebBrowser::BeforeNavigate(const std::string& url, bool& cancel) {
  if (OnBeforeNavigate2) OnBeforeNavigate2(*this, url, cancel);
}

BrowserEngine* WebBrowser::NewWindow(const std::string& url, bool& cancel) {
  WebBrowser* handed_back = nullptr;
  if (OnNewWindow2) OnNewWindow2(*this, handed_back, cancel);
  if (cancel) return nullptr;
  if (handed_back) return &handed_back->engine();
  // Nobody took the window: the page opens in the desktop's own browser, as the original
  // control did.
  if (!url.empty()) shell_.Open(url, "");
  return nullptr;
}

void WebBrowser::TitleChange(const std::string& title) {
  if (OnTitleChange) OnTitleChange(*this, title);
}

void WebBrowser::ProgressChange(int progress, int progress_max) {
  if (OnProgressChange) OnProgressChange(*this, progress, progress_max);
}

void WebBrowser::DocumentComplete(const std::string& url) {
  if (OnDocumentComplete) OnDocumentComplete(*this, engine_->GetDocument(), url);
}

}  // namespace platform
