// The browser engine of the real backend: one WebKitGTK web view per tab.
//
// Events:
// - BeforeNavigate is the view's navigation policy decision. WebKitGTK asks it for the top
//   document and for every frame alike (a frameset's frames, iframes, a link followed inside a
//   frame), so all of them are reported; cancelling ignores the navigation. A navigation the
//   program asks for with Navigate is reported before Navigate returns, as the original
//   control reported it (cancelling it there loads nothing), and not again at its decision.
//   The load of a written page is not a navigation and is not reported; its form's
//   submission is.
// - NewWindow is the view's "create" request (window.open, target=_blank). The handler hands
//   back an engine that the factory created related to this one, and WebKit loads the page in
//   it; a navigation the handler asked of that engine before handing it back (the program
//   sends a new tab to "about:blank" first) is dropped, as it would replace the window's page.
//   When the handler hands back nothing the view opens nothing: the control opens the address
//   outside the program.
// - TitleChange reports the page's title; a page without a title is reported by its address
//   (the page is asked whether it has one: the view may learn a title after the load ends).
// - ProgressChange reports (percent, 100) while loading and (-1, 100) when a load ends.
// - DocumentComplete fires each time a document completes (its load event) in any frame of
//   the tab, top document included, reported by a script of ours in every frame. A frame whose
//   top document is of another origin cannot name its tab and reports nothing. The load of a
//   written page does not fire it; the answer to its form does. A page that ends (closes its
//   window, loses its web process) before anything completed since its load began fires it
//   once more, without a document, as a failed load would.
//
// While the form of a written page is on its way to the site, a navigation or refresh the
// program asks of another engine waits until the site has answered it (at most 3 s), so that
// page is fetched with the cookies the answer sets: after a login, the other tabs come in
// their logged-in view.
//
// The document is a snapshot taken by script in an isolated script world, at the load event of
// the frame that completed, before DocumentComplete fires: the frames tree reached from the
// top document (a frame of another origin is NoDocument), all elements in document order with
// their upper-case tag names, and the outer HTML of the INPUT, A and SCRIPT elements (OuterHtml
// of any other element is empty: those are all the program reads). The snapshot is kept until
// the next one, so GetDocument is cheap enough for the page watcher's tick; from a new page's
// commit to its first completed document the browser has an empty document. SetOuterHtml
// rewrites, by script in the same world, exactly the element the snapshot read, and the copy.
//
// A browser has no document (GetDocument is nullptr) before its first load commits, after its
// page closed its own window (any page may: window.close() is honoured as the original control
// honoured it, not only for windows opened by script), and after its web process ended (until
// a new page commits).
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/browser_engine.h"

typedef struct _GtkWidget GtkWidget;

namespace platform::gtk {

struct WebKitShared;

// The widget of an engine made by WebKitBrowserFactory (its WebKitWebView), for the renderer
// to pack into the tab sheet. The engine keeps its own reference; the renderer removes the
// widget from its container when the control goes away. nullptr for any other engine.
GtkWidget* EngineWidget(platform::BrowserEngine& engine);

// How long the snapshot of the engine's current document took, from the frame's load event to
// the parsed result, in microseconds; -1 when there is none. For the benchmarks.
std::int64_t LastSnapshotMicros(platform::BrowserEngine& engine);
// When the frame's load event of the engine's current document came, on the monotonic clock
// (g_get_monotonic_time, µs; the page reports it to the millisecond); -1 when there is none.
// For the benchmarks.
std::int64_t LastLoadEventMicros(platform::BrowserEngine& engine);

// Makes the tabs' engines. All of them share one web context, hence one cookie store kept in
// memory for the program's run, so every tab is logged in as the site's cookies say. The
// factory may go before its engines; what they share lives as long as the last of them.
class WebKitBrowserFactory : public platform::BrowserFactory {
 public:
  // data_folder: where the engine may keep its cache and local storage; empty keeps everything
  // in memory. Cookies are kept in memory either way.
  explicit WebKitBrowserFactory(const std::string& data_folder = std::string());
  ~WebKitBrowserFactory() override;
  WebKitBrowserFactory(const WebKitBrowserFactory&) = delete;
  WebKitBrowserFactory& operator=(const WebKitBrowserFactory&) = delete;

  std::unique_ptr<platform::BrowserEngine> Create(platform::BrowserEngine* related_to) override;

 private:
  std::shared_ptr<WebKitShared> shared_;
};

}  // namespace platform::gtk
