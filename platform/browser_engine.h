// One browser engine: the page of one tab. The WebBrowser control wraps it; the real backend is
// WebKitGTK, tests use an engine whose events they raise.
#pragma once

#include <memory>
#include <string>

#include "platform/document.h"

namespace platform {

class BrowserEngine;

// What an engine reports. All on the GUI thread. Addresses and titles are Shift-JIS.
class BrowserEngineEvents {
 public:
  virtual ~BrowserEngineEvents() = default;
  // A navigation of the top document or of a frame is about to start; set cancel to stop it.
  virtual void BeforeNavigate(const std::string& url, bool& cancel) = 0;
  // A page asks for a new window. Return the engine to load it in (created related to this one
  // by the factory), or nullptr to let it open outside the program; set cancel to drop it.
  virtual BrowserEngine* NewWindow(const std::string& url, bool& cancel) = 0;
  virtual void TitleChange(const std::string& title) = 0;
  virtual void ProgressChange(int progress, int progress_max) = 0;
  // A document completed, in the top document or any frame (a frame that reloads reports again).
  virtual void DocumentComplete(const std::string& url) = 0;
};

class BrowserEngine {
 public:
  virtual ~BrowserEngine() = default;
  virtual void SetEvents(BrowserEngineEvents* events) = 0;

  virtual void Navigate(const std::string& url) = 0;
  virtual void Refresh() = 0;
  virtual void GoBack() = 0;
  virtual void GoForward() = 0;
  virtual std::string LocationUrl() = 0;
  // The current document; nullptr when the browser has no document: before its first load
  // has committed, after its page closed its own window, after its web process ended.
  virtual Document* GetDocument() = 0;
  // Puts a generated page into the browser as its document, with base_url as its address, so
  // its form posts from the site's own origin with the browser's cookies. The page's script
  // submits the form; one written page gives exactly one submission, even if the browser is
  // refreshed while it is being submitted.
  virtual void WritePage(const std::string& page, const std::string& base_url) = 0;
  // Inserts text into the focused field of whichever frame has the focus, as a paste would.
  virtual void InsertText(const std::string& text) = 0;
};

class BrowserFactory {
 public:
  virtual ~BrowserFactory() = default;
  // A new engine; related_to is the opener for a new window (nullptr otherwise). nullptr when
  // it cannot be created.
  virtual std::unique_ptr<BrowserEngine> Create(BrowserEngine* related_to) = 0;
};

}  // namespace platform
