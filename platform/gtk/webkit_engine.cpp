#include "platform/gtk/webkit_engine.h"

#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/gtk/webkit_snapshot.h"
#include "text/sjis.h"

namespace platform::gtk {
namespace {

// The script world our own scripts run in: the page's scripts cannot see or change what we
// keep there, and it reads the documents of the page's same-origin frames.
constexpr const char kWorld[] = "mirabo";
// The message channel of our scripts in that world.
constexpr const char kChannel[] = "miraboPage";

// In the isolated world of every frame, from the start of its document: reports the frame's
// load event, and in the top document the page closing its window. The content manager is
// shared by all views (WebKit gives a window opened by a page its opener's anyway), so each
// report names its view by the number the engine put into its top document at commit; a
// report made before that number is there waits for it.
constexpr const char kReporter[] = R"JS((function () {
  var top = window === window.top;
  function send(kind, tries, at) {
    var view = 0;
    try { view = window.top.__miraboView || 0; } catch (e) { return; }  // top of another origin
    if (!view) {
      if (tries < 300) setTimeout(function () { send(kind, tries + 1, at); }, 10);
      return;
    }
    // A completed load carries the snapshot, taken here at once when the top document can
    // be read from this frame.
    var snapshot = '';
    if (kind === 'load') { try { snapshot = (SNAPSHOT)(window.top); } catch (e) {} }
    try {
      window.webkit.messageHandlers.miraboPage.postMessage(
          JSON.stringify([view, kind, String(location.href), top, snapshot, at]));
    } catch (e) {}
  }
  if (top) document.addEventListener('mirabo-close', function () { send('close', 0, 0); });
  window.addEventListener('load', function () { send('load', 0, Date.now()); }, {once: true});
})();)JS";

// In the page's own world of the top document, from its start: window.close() tells our
// reporter instead of asking WebKit, which lets a page close only a window that a script
// opened. The original control let any page close its window, and the program relies on it.
constexpr const char kPageClose[] = R"JS((function () {
  var d = document, E = Event, dispatch = EventTarget.prototype.dispatchEvent;
  try {
    Object.defineProperty(window, 'close', {
      value: function close() { dispatch.call(d, new E('mirabo-close')); },
      configurable: true, writable: true
    });
  } catch (e) {}
})();)JS";

std::string Utf8(const char* s) { return s ? std::string(s) : std::string(); }

// An address as WebKit writes it: scheme and host in lower case, no default port, at least
// "/" as its path ("http://Host:80" becomes "http://host/").
std::string Normalized(const std::string& uri) {
  GUri* parsed = g_uri_parse(uri.c_str(), G_URI_FLAGS_ENCODED, nullptr);
  if (!parsed) return uri;
  std::string scheme = Utf8(g_uri_get_scheme(parsed));
  for (char& c : scheme) c = static_cast<char>(g_ascii_tolower(c));
  int port = g_uri_get_port(parsed);
  if ((scheme == "http" && port == 80) || (scheme == "https" && port == 443)) port = -1;
  const char* raw_host = g_uri_get_host(parsed);
  char* host = raw_host ? g_ascii_strdown(raw_host, -1) : nullptr;
  std::string path = Utf8(g_uri_get_path(parsed));
  if (path.empty() && host) path = "/";
  char* joined =
      g_uri_join(G_URI_FLAGS_ENCODED, scheme.c_str(), g_uri_get_userinfo(parsed), host, port,
                 path.c_str(), g_uri_get_query(parsed), g_uri_get_fragment(parsed));
  std::string result = Utf8(joined);
  g_free(joined);
  g_free(host);
  g_uri_unref(parsed);
  return result;
}

bool SameAddress(const std::string& a, const std::string& b) {
  return a == b || Normalized(a) == Normalized(b);
}

// A snapshot being taken: what its completion needs.
struct PendingSnapshot {
  std::weak_ptr<EngineLink> link;
  std::string url;
  gint64 started_us;
};

class WebKitEngine;

}  // namespace

// What the factory and its engines share: the web context (with its cookies), the settings and
// the content manager with our scripts, and which engine each view number belongs to.
struct WebKitShared {
  explicit WebKitShared(const std::string& data_folder);
  ~WebKitShared();
  WebKitShared(const WebKitShared&) = delete;
  WebKitShared& operator=(const WebKitShared&) = delete;

  static void OnMessage(WebKitUserContentManager*, WebKitJavascriptResult* result, gpointer self);

  WebKitWebContext* context = nullptr;
  WebKitSettings* settings = nullptr;
  WebKitUserContentManager* content = nullptr;
  std::map<long, WebKitEngine*> engines;
  long next_view = 0;
  int creating = 0;  // "create" requests being handled
  // Engines whose written page's form is on its way to the site (see WritePage). What the
  // program asks of the other engines meanwhile is held until the last answer is in.
  int submitting = 0;
  void SubmissionEnded();

  // Until the first page of the program has completed, a blank page waits: it needs a web
  // process of its own, whose start would take the cores from the page the member is waiting
  // for (the home tab's, at start-up; the site tab is sent to a blank page and then put behind
  // it). A view that has loaded nothing shows what a blank page shows. The blank page goes
  // ahead when a page has completed or ended, when its browser comes on screen, when no other
  // browser is loading a page, or after a while should the page never come.
  bool page_completed = false;
  guint blank_check = 0;  // the idle check for blank pages with nothing to wait for
  guint blank_guard = 0;  // ends the wait should the page never come
  void HoldBlank();
  void ReleaseBlanks();
  static gboolean OnBlankCheck(gpointer self);
  static gboolean OnBlankGuard(gpointer self);
};

namespace {

class WebKitEngine : public platform::BrowserEngine, public ScriptRunner {
 public:
  WebKitEngine(std::shared_ptr<WebKitShared> shared, WebKitWebView* related);
  ~WebKitEngine() override;
  WebKitEngine(const WebKitEngine&) = delete;
  WebKitEngine& operator=(const WebKitEngine&) = delete;

  bool ok() const { return view_ != nullptr; }
  WebKitWebView* view() const { return view_; }

  void SetEvents(platform::BrowserEngineEvents* events) override { events_ = events; }
  void Navigate(const std::string& url) override;
  void Refresh() override;
  void GoBack() override;
  void GoForward() override;
  std::string LocationUrl() override;
  platform::Document* GetDocument() override;
  void WritePage(const std::string& page, const std::string& base_url) override;
  void InsertText(const std::string& text) override;

  // Runs a script of ours in the isolated world of the top document, ignoring its result.
  void RunInWorld(const std::string& script) override;

  // A report of our scripts in this view's page.
  void OnPageReport(const PageReport& report);
  // Runs what the program asked of this browser while another one's form was on its way.
  void RunHeld();
  // Loads the blank page held at start-up (see WebKitShared::page_completed).
  void RunHeldBlank();
  // The program has asked for a page that is neither held nor loaded yet.
  bool OwesLoad() const { return completion_owed_ && held_ == Held::None; }

 private:
  // Where the generated page cycle of WritePage stands (see Refresh).
  enum class Written {
    None,      // no generated page involved
    Loading,   // the page was given to the view and has not committed yet
    Shown,     // the generated page is the document; its form is being submitted
    Answered,  // the document is the site's answer to the submitted form
  };

  static gboolean OnDecidePolicy(WebKitWebView*, WebKitPolicyDecision* decision,
                                 WebKitPolicyDecisionType type, gpointer self);
  static GtkWidget* OnCreate(WebKitWebView*, WebKitNavigationAction* action, gpointer self);
  static void OnLoadChanged(WebKitWebView*, WebKitLoadEvent event, gpointer self);
  static void OnTitle(GObject*, GParamSpec*, gpointer self);
  static void OnProgress(GObject*, GParamSpec*, gpointer self);
  static void OnClose(WebKitWebView*, gpointer self);
  static void OnTerminated(WebKitWebView*, WebKitWebProcessTerminationReason, gpointer self);
  static gboolean OnScriptDialog(WebKitWebView*, WebKitScriptDialog* dialog, gpointer self);
  static gboolean OnPermission(WebKitWebView*, WebKitPermissionRequest* request, gpointer self);
  static void OnSnapshotDone(GObject* view, GAsyncResult* result, gpointer data);
  static void OnTitleRead(GObject* view, GAsyncResult* result, gpointer data);
  static gboolean OnOpenerDone(gpointer self);
  static gboolean OnSubmissionTimeout(gpointer self);
  static void OnMap(GtkWidget*, gpointer self);

  bool DecideNavigation(WebKitNavigationAction* action);
  void ReportTitle();
  void ReportTitleIfUntitled();
  void PageClosed();
  void PageEnded();
  void TakeSnapshotThenComplete(const std::string& url);
  void Complete(const std::string& url, const std::string& json, gint64 started_us);
  void InstallSnapshot(std::shared_ptr<Snapshot> snapshot);
  void Load(const std::string& uri_utf8);
  void BeginSubmission();
  void EndSubmission();

  std::shared_ptr<WebKitShared> shared_;
  long id_ = 0;  // the view's number in our scripts' reports
  WebKitWebView* view_ = nullptr;
  platform::BrowserEngineEvents* events_ = nullptr;
  std::shared_ptr<EngineLink> link_;

  bool committed_ = false;  // a load of the top document has committed
  // The program has asked for a page. Until it commits the browser counts as starting up, with
  // an empty document: a web process takes a few hundred milliseconds to commit its first page,
  // and the page watcher must not take such a browser for one that lost its page.
  bool requested_ = false;
  bool closed_ = false;   // the page closed its own window
  bool crashed_ = false;  // the web process ended; a later commit brings the page back
  Written written_ = Written::None;
  std::string written_base_;  // the address a generated page was given as its base
  bool skip_written_decision_ = false;
  // The addresses of the program's Navigate calls, reported when they were asked for, whose
  // policy decisions (which WebKit asks even for a load that a later one replaced) are not
  // to be reported again; each is marked when its decision has come, and goes with the commit
  // of its load or of a later one.
  struct Reported {
    std::string uri;
    bool decided = false;
  };
  std::vector<Reported> reported_;

  // A browser made for a new window may be handed back to its opener's "create" request,
  // and WebKit then loads the window's page in it. A navigation asked of it before that (the
  // program sends a new tab to "about:blank" first) would replace the window's page, so it
  // waits until the request is answered and is dropped if the browser was handed back.
  bool awaiting_opener_ = false;
  std::string deferred_uri_;
  guint opener_source_ = 0;

  // While the form of a page written into another browser is on its way to the site, a page
  // the program asks of this one waits for the site's answer: the answer may set the cookies
  // that page is to be fetched with (the login's session). The last request wins. A blank
  // page may wait at start-up too (Blank, see WebKitShared::page_completed).
  enum class Held { None, Load, Reload, Blank };
  Held held_ = Held::None;
  std::string held_uri_;
  // This browser's written page is being submitted (counted in WebKitShared::submitting);
  // a guard ends the wait should no answer ever come.
  bool submitting_ = false;
  guint submission_guard_ = 0;

  // A load the program may wait for has not completed since it began. A page that ends
  // (closes its window, loses its web process) with a load still owed completes it without a
  // document, as a failed load does, so its tab is seen to have lost its page.
  bool completion_owed_ = false;
  unsigned commits_ = 0;  // top-document commits so far

  std::shared_ptr<Snapshot> snapshot_;
  std::shared_ptr<Snapshot> empty_;
  // Snapshots replaced while an event handler may still hold their pointers; freed when no
  // handler of this engine runs.
  std::vector<std::shared_ptr<Snapshot>> retired_;
  int event_depth_ = 0;
};

// Counts a running event handler of an engine, so its snapshots stay alive for the handler. A
// handler may end the engine (a message box's nested loop runs the page watcher): the scope
// then only lets go of the link.
class EventScope {
 public:
  EventScope(std::shared_ptr<EngineLink> link, int& depth) : link_(std::move(link)), depth_(depth) {
    ++depth_;
  }
  ~EventScope() {
    if (link_->runner) --depth_;
  }
  EventScope(const EventScope&) = delete;
  EventScope& operator=(const EventScope&) = delete;

 private:
  std::shared_ptr<EngineLink> link_;
  int& depth_;
};

WebKitEngine::WebKitEngine(std::shared_ptr<WebKitShared> shared, WebKitWebView* related)
    : shared_(std::move(shared)), link_(std::make_shared<EngineLink>()) {
  link_->runner = this;
  empty_ = std::make_shared<Snapshot>(link_);
  id_ = ++shared_->next_view;

  // A window opened by a page is built by WebKit from its opener's configuration; the
  // settings and the content manager are the shared ones either way.
  GObject* object =
      related ? G_OBJECT(g_object_new(WEBKIT_TYPE_WEB_VIEW, "related-view", related,
                                      "user-content-manager", shared_->content, "settings",
                                      shared_->settings, nullptr))
              : G_OBJECT(g_object_new(WEBKIT_TYPE_WEB_VIEW, "web-context", shared_->context,
                                      "user-content-manager", shared_->content, "settings",
                                      shared_->settings, nullptr));
  if (!object) return;
  view_ = WEBKIT_WEB_VIEW(g_object_ref_sink(object));
  shared_->engines[id_] = this;

  g_signal_connect(view_, "decide-policy", G_CALLBACK(OnDecidePolicy), this);
  g_signal_connect(view_, "create", G_CALLBACK(OnCreate), this);
  g_signal_connect(view_, "load-changed", G_CALLBACK(OnLoadChanged), this);
  g_signal_connect(view_, "notify::title", G_CALLBACK(OnTitle), this);
  g_signal_connect(view_, "notify::estimated-load-progress", G_CALLBACK(OnProgress), this);
  g_signal_connect(view_, "close", G_CALLBACK(OnClose), this);
  g_signal_connect(view_, "web-process-terminated", G_CALLBACK(OnTerminated), this);
  g_signal_connect(view_, "script-dialog", G_CALLBACK(OnScriptDialog), this);
  g_signal_connect(view_, "permission-request", G_CALLBACK(OnPermission), this);
  g_signal_connect(view_, "map", G_CALLBACK(OnMap), this);

  if (related) {
    awaiting_opener_ = true;
    opener_source_ = g_timeout_add(10, OnOpenerDone, this);
  }
}

WebKitEngine::~WebKitEngine() {
  link_->runner = nullptr;
  if (opener_source_) g_source_remove(opener_source_);
  if (!view_) return;
  shared_->engines.erase(id_);
  held_ = Held::None;
  EndSubmission();
  g_signal_handlers_disconnect_by_data(view_, this);
  // The renderer may still hold the widget for a moment; the page has nothing more to do.
  webkit_web_view_stop_loading(view_);
  g_object_unref(view_);
}

void WebKitEngine::Load(const std::string& uri_utf8) {
  completion_owed_ = true;
  if (awaiting_opener_) {
    deferred_uri_ = uri_utf8;
    return;
  }
  if (shared_->submitting > 0) {
    held_ = Held::Load;
    held_uri_ = uri_utf8;
    return;
  }
  if (!shared_->page_completed && uri_utf8 == "about:blank") {
    held_ = Held::Blank;
    held_uri_ = uri_utf8;
    shared_->HoldBlank();
    return;
  }
  held_ = Held::None;
  webkit_web_view_load_uri(view_, uri_utf8.c_str());
}

void WebKitEngine::RunHeldBlank() {
  if (held_ != Held::Blank) return;
  held_ = Held::None;
  webkit_web_view_load_uri(view_, held_uri_.c_str());
}

void WebKitEngine::OnMap(GtkWidget*, gpointer self) {
  static_cast<WebKitEngine*>(self)->RunHeldBlank();
}

void WebKitEngine::RunHeld() {
  if (held_ == Held::Blank) return;
  Held held = held_;
  held_ = Held::None;
  if (held == Held::Load)
    webkit_web_view_load_uri(view_, held_uri_.c_str());
  else if (held == Held::Reload && written_ == Written::None)
    webkit_web_view_reload(view_);
}

void WebKitEngine::BeginSubmission() {
  if (submitting_) return;
  submitting_ = true;
  ++shared_->submitting;
  // A site that never answers holds nothing for long.
  submission_guard_ = g_timeout_add(3000, OnSubmissionTimeout, this);
}

void WebKitEngine::EndSubmission() {
  if (!submitting_) return;
  submitting_ = false;
  if (submission_guard_) g_source_remove(submission_guard_);
  submission_guard_ = 0;
  if (--shared_->submitting == 0) shared_->SubmissionEnded();
}

gboolean WebKitEngine::OnSubmissionTimeout(gpointer self) {
  auto* engine = static_cast<WebKitEngine*>(self);
  engine->submission_guard_ = 0;
  engine->EndSubmission();
  return G_SOURCE_REMOVE;
}

gboolean WebKitEngine::OnOpenerDone(gpointer self) {
  auto* engine = static_cast<WebKitEngine*>(self);
  // Still inside a "create" request (its handler may run a nested loop): wait.
  if (engine->shared_->creating > 0) return G_SOURCE_CONTINUE;
  engine->opener_source_ = 0;
  engine->awaiting_opener_ = false;
  if (!engine->deferred_uri_.empty()) {
    std::string uri = std::move(engine->deferred_uri_);
    engine->deferred_uri_.clear();
    webkit_web_view_load_uri(engine->view_, uri.c_str());
  }
  return G_SOURCE_REMOVE;
}

void WebKitEngine::Navigate(const std::string& url) {
  requested_ = true;
  written_ = Written::None;
  skip_written_decision_ = false;
  EndSubmission();
  // As the original control did, a navigation the program asks for is reported before this
  // returns, so the handlers see the program's navigations in the order it made them (WebKit
  // asks its policy decision later, and in any order across browsers).
  if (events_) {
    bool cancel = false;
    std::shared_ptr<EngineLink> link = link_;
    {
      EventScope scope(link, event_depth_);
      events_->BeforeNavigate(url, cancel);
    }
    if (!link->runner || cancel) return;  // the handler ended this browser, or refused
  }
  reported_.push_back({text::ToUtf8(url)});
  Load(reported_.back().uri);
}

void WebKitEngine::Refresh() {
  // A generated page submits its form from its load script, and the site's answer to that
  // submission is a POST result. Reloading either would post the form a second time, so
  // while the written page is on its way, being submitted, or answered, a refresh does
  // nothing: one written page gives exactly one submission. The next page (a navigation or
  // another written page) ends this.
  if (written_ != Written::None || held_ == Held::Blank) return;
  completion_owed_ = true;
  if (shared_->submitting > 0) {
    if (held_ == Held::None) held_ = Held::Reload;
    return;
  }
  webkit_web_view_reload(view_);
}

void WebKitEngine::GoBack() {
  if (!webkit_web_view_can_go_back(view_)) return;
  written_ = Written::None;
  EndSubmission();
  completion_owed_ = true;
  webkit_web_view_go_back(view_);
}

void WebKitEngine::GoForward() {
  if (!webkit_web_view_can_go_forward(view_)) return;
  written_ = Written::None;
  EndSubmission();
  completion_owed_ = true;
  webkit_web_view_go_forward(view_);
}

std::string WebKitEngine::LocationUrl() {
  // A held blank page is where the browser is, as far as the program is concerned.
  if (held_ == Held::Blank) return text::ToSjis(held_uri_);
  return text::ToSjis(Utf8(webkit_web_view_get_uri(view_)));
}

platform::Document* WebKitEngine::GetDocument() {
  if (closed_ || crashed_ || (!committed_ && !requested_)) return nullptr;
  return snapshot_ ? snapshot_.get() : empty_.get();
}

void WebKitEngine::WritePage(const std::string& page, const std::string& base_url) {
  // The page's bytes are Shift_JIS and its base is the form's action address: the form is
  // posted from the site's own origin, with the site's cookies, encoded as the site expects.
  written_ = Written::Loading;
  written_base_ = text::ToUtf8(base_url);
  skip_written_decision_ = true;
  awaiting_opener_ = false;
  deferred_uri_.clear();
  held_ = Held::None;
  completion_owed_ = true;
  // Until the site answers this form, what the program asks of the other browsers waits.
  EndSubmission();
  BeginSubmission();
  GBytes* bytes = g_bytes_new(page.data(), page.size());
  webkit_web_view_load_bytes(view_, bytes, "text/html", "shift_jis", written_base_.c_str());
  g_bytes_unref(bytes);
}

void WebKitEngine::InsertText(const std::string& text) {
  webkit_web_view_execute_editing_command_with_argument(view_, "InsertText",
                                                        text::ToUtf8(text).c_str());
}

void WebKitEngine::RunInWorld(const std::string& script) {
  webkit_web_view_evaluate_javascript(view_, script.data(), static_cast<gssize>(script.size()),
                                      kWorld, nullptr, nullptr, nullptr, nullptr);
}

// --- navigation policy and new windows ---

gboolean WebKitEngine::OnDecidePolicy(WebKitWebView*, WebKitPolicyDecision* decision,
                                      WebKitPolicyDecisionType type, gpointer self) {
  auto* engine = static_cast<WebKitEngine*>(self);
  switch (type) {
    case WEBKIT_POLICY_DECISION_TYPE_NAVIGATION_ACTION: {
      // WebKit asks this for the top document and for every frame alike.
      WebKitNavigationAction* action = webkit_navigation_policy_decision_get_navigation_action(
          WEBKIT_NAVIGATION_POLICY_DECISION(decision));
      // Hold the decision: the handler may run a nested loop in which this engine goes away.
      g_object_ref(decision);
      std::shared_ptr<EngineLink> link = engine->link_;
      bool cancel = engine->DecideNavigation(action);
      if (!link->runner || !cancel)
        webkit_policy_decision_use(decision);
      else
        webkit_policy_decision_ignore(decision);
      g_object_unref(decision);
      return TRUE;
    }
    case WEBKIT_POLICY_DECISION_TYPE_NEW_WINDOW_ACTION:
      // The "create" request that follows asks the program for the new window.
      webkit_policy_decision_use(decision);
      return TRUE;
    case WEBKIT_POLICY_DECISION_TYPE_RESPONSE: {
      // What the view cannot show is not saved anywhere: downloads are not the tabs' work.
      auto* response = WEBKIT_RESPONSE_POLICY_DECISION(decision);
      if (webkit_response_policy_decision_is_mime_type_supported(response))
        webkit_policy_decision_use(decision);
      else
        webkit_policy_decision_ignore(decision);
      return TRUE;
    }
    default:
      return FALSE;
  }
}

// true: cancel the navigation.
bool WebKitEngine::DecideNavigation(WebKitNavigationAction* action) {
  WebKitURIRequest* request = webkit_navigation_action_get_request(action);
  std::string uri = Utf8(webkit_uri_request_get_uri(request));
  // Loading a written page reaches the policy as a GET of its base address. It is not a
  // navigation of the page; the submission of its form is, and that one is reported.
  const bool other =
      webkit_navigation_action_get_navigation_type(action) == WEBKIT_NAVIGATION_TYPE_OTHER;
  if (skip_written_decision_ && other && SameAddress(uri, written_base_)) {
    skip_written_decision_ = false;
    return false;
  }
  // The program's own navigation was reported when it asked for it.
  if (other) {
    for (Reported& r : reported_) {
      if (r.decided || !SameAddress(uri, r.uri)) continue;
      r.decided = true;
      return false;
    }
  }
  if (!events_) return false;
  bool cancel = false;
  EventScope scope(link_, event_depth_);
  events_->BeforeNavigate(text::ToSjis(uri), cancel);
  return cancel;
}

GtkWidget* WebKitEngine::OnCreate(WebKitWebView*, WebKitNavigationAction* action, gpointer self) {
  auto* engine = static_cast<WebKitEngine*>(self);
  if (!engine->events_) return nullptr;
  WebKitURIRequest* request = webkit_navigation_action_get_request(action);
  std::string uri = Utf8(webkit_uri_request_get_uri(request));
  std::shared_ptr<WebKitShared> shared = engine->shared_;
  bool cancel = false;
  platform::BrowserEngine* target = nullptr;
  ++shared->creating;
  {
    EventScope scope(engine->link_, engine->event_depth_);
    target = engine->events_->NewWindow(text::ToSjis(uri), cancel);
  }
  --shared->creating;
  // Nothing handed back: the control opens the address outside the program, so the view
  // opens nothing itself.
  if (cancel || !target) return nullptr;
  auto* opened = dynamic_cast<WebKitEngine*>(target);
  if (!opened || !opened->view_) return nullptr;
  // WebKit loads the window's page in it; what the handler asked of it before is dropped.
  opened->awaiting_opener_ = false;
  opened->deferred_uri_.clear();
  opened->reported_.clear();
  if (opened->opener_source_) {
    g_source_remove(opened->opener_source_);
    opened->opener_source_ = 0;
  }
  // The caller of "create" takes a reference of its own; the engine keeps the one it has.
  return GTK_WIDGET(g_object_ref(opened->view_));
}

// --- load, title, progress ---

void WebKitEngine::OnLoadChanged(WebKitWebView*, WebKitLoadEvent event, gpointer self) {
  auto* engine = static_cast<WebKitEngine*>(self);
  if (event == WEBKIT_LOAD_COMMITTED) {
    engine->committed_ = true;
    engine->crashed_ = false;
    engine->skip_written_decision_ = false;
    engine->completion_owed_ = true;
    ++engine->commits_;
    // A navigation the program asked for that commits has had its decision, and so have the
    // ones it asked for before (WebKit decides a browser's navigations in order).
    std::string committed = Utf8(webkit_web_view_get_uri(engine->view_));
    auto& reported = engine->reported_;
    for (std::size_t i = 0; i < reported.size(); ++i) {
      if (!reported[i].decided || !SameAddress(committed, reported[i].uri)) continue;
      reported.erase(reported.begin(), reported.begin() + static_cast<std::ptrdiff_t>(i) + 1);
      break;
    }
    bool answered = false;
    switch (engine->written_) {
      case Written::Loading:
        // The written page commits with its base address. A load begun before it (a blank
        // page whose web process was still starting) may commit after WritePage was asked;
        // taken for the written page, it would let the site's answer to it count as the
        // submission's, and what waits for the login would go ahead without its session.
        if (SameAddress(committed, engine->written_base_)) engine->written_ = Written::Shown;
        break;
      case Written::Shown:
        engine->written_ = Written::Answered;
        answered = true;
        break;
      case Written::Answered:
        engine->written_ = Written::None;
        break;
      case Written::None:
        break;
    }
    // Our scripts in this page name their view by this number.
    engine->RunInWorld("window.__miraboView = " + std::to_string(engine->id_) + ";");
    // The previous document is gone; until this one completes the tab has an empty one.
    engine->InstallSnapshot(nullptr);
    // The site has answered the written page's form (its cookies are set): what waited for
    // it goes ahead.
    if (answered) engine->EndSubmission();
  } else if (event == WEBKIT_LOAD_FINISHED) {
    const char* title = webkit_web_view_get_title(engine->view_);
    std::shared_ptr<EngineLink> link = engine->link_;
    if (!title || !*title) engine->ReportTitleIfUntitled();
    if (!link->runner || !engine->events_) return;
    EventScope scope(link, engine->event_depth_);
    engine->events_->ProgressChange(-1, 100);
  }
}

void WebKitEngine::ReportTitle() {
  if (!events_) return;
  // A page without a title is named by its address.
  std::string title = Utf8(webkit_web_view_get_title(view_));
  if (title.empty()) title = Utf8(webkit_web_view_get_uri(view_));
  if (title.empty()) return;
  EventScope scope(link_, event_depth_);
  events_->TitleChange(text::ToSjis(title));
}

// What reading the page's own title needs when the answer comes.
struct PendingTitle {
  std::weak_ptr<EngineLink> link;
  unsigned commits;  // the document asked about
};

void WebKitEngine::ReportTitleIfUntitled() {
  // The view may learn a page's title only after its load has finished: the page itself says
  // whether it has one. Only a page without one is named by its address.
  static const char kTitle[] = "document.title";
  auto* pending = new PendingTitle{link_, commits_};
  webkit_web_view_evaluate_javascript(view_, kTitle, -1, kWorld, nullptr, nullptr, OnTitleRead,
                                      pending);
}

void WebKitEngine::OnTitleRead(GObject* view, GAsyncResult* result, gpointer data) {
  std::unique_ptr<PendingTitle> pending(static_cast<PendingTitle*>(data));
  JSCValue* value =
      webkit_web_view_evaluate_javascript_finish(WEBKIT_WEB_VIEW(view), result, nullptr);
  if (!value) return;  // the page is gone
  bool untitled = true;
  if (jsc_value_is_string(value)) {
    char* raw = jsc_value_to_string(value);
    untitled = !raw || !*raw;
    g_free(raw);
  }
  g_object_unref(value);
  std::shared_ptr<EngineLink> link = pending->link.lock();
  auto* engine = link ? static_cast<WebKitEngine*>(link->runner) : nullptr;
  if (!engine || !untitled || engine->commits_ != pending->commits) return;
  const char* title = webkit_web_view_get_title(engine->view_);
  if (!title || !*title) engine->ReportTitle();
}

void WebKitEngine::OnTitle(GObject*, GParamSpec*, gpointer self) {
  auto* engine = static_cast<WebKitEngine*>(self);
  const char* title = webkit_web_view_get_title(engine->view_);
  // An empty title is reported as the address once the load has finished.
  if (title && *title) engine->ReportTitle();
}

void WebKitEngine::OnProgress(GObject*, GParamSpec*, gpointer self) {
  auto* engine = static_cast<WebKitEngine*>(self);
  if (!engine->events_) return;
  if (!webkit_web_view_is_loading(engine->view_)) return;  // the finish reports (-1, 100)
  double p = webkit_web_view_get_estimated_load_progress(engine->view_);
  EventScope scope(engine->link_, engine->event_depth_);
  engine->events_->ProgressChange(static_cast<int>(p * 100), 100);
}

// --- the page's end, dialogs, permissions ---

void WebKitEngine::PageClosed() {
  // The browser has no document from now on. The view stays; the program's page watcher
  // takes the tab away or replaces the browser.
  closed_ = true;
  PageEnded();
}

void WebKitEngine::PageEnded() {
  InstallSnapshot(nullptr);
  // A written page's form is answered no more.
  EndSubmission();
  if (!shared_->page_completed) shared_->ReleaseBlanks();
  // A load the program may be waiting for ends here, without a document (the program's busy
  // mark drops, so the page watcher sees the page lost).
  if (!completion_owed_ || !events_) return;
  completion_owed_ = false;
  EventScope scope(link_, event_depth_);
  events_->DocumentComplete(LocationUrl());
}

void WebKitEngine::OnClose(WebKitWebView*, gpointer self) {
  static_cast<WebKitEngine*>(self)->PageClosed();
}

void WebKitEngine::OnTerminated(WebKitWebView*, WebKitWebProcessTerminationReason, gpointer self) {
  auto* engine = static_cast<WebKitEngine*>(self);
  engine->crashed_ = true;
  engine->PageEnded();
}

gboolean WebKitEngine::OnScriptDialog(WebKitWebView*, WebKitScriptDialog* dialog, gpointer) {
  // The control shows no dialogs of its own: alerts are dismissed, questions answered no,
  // prompts get nothing; leaving a page is always allowed.
  switch (webkit_script_dialog_get_dialog_type(dialog)) {
    case WEBKIT_SCRIPT_DIALOG_CONFIRM:
      webkit_script_dialog_confirm_set_confirmed(dialog, FALSE);
      break;
    case WEBKIT_SCRIPT_DIALOG_BEFORE_UNLOAD_CONFIRM:
      webkit_script_dialog_confirm_set_confirmed(dialog, TRUE);
      break;
    default:
      break;
  }
  return TRUE;
}

gboolean WebKitEngine::OnPermission(WebKitWebView*, WebKitPermissionRequest* request, gpointer) {
  webkit_permission_request_deny(request);
  return TRUE;
}

// --- documents ---

void WebKitEngine::OnPageReport(const PageReport& report) {
  if (closed_) return;
  if (report.kind == "close") {
    if (report.top) PageClosed();
    return;
  }
  if (report.kind != "load") return;
  // The written page's own load is not a document the program waits for: its form's answer
  // is.
  if (report.top && written_ == Written::Shown) return;
  if (report.snapshot.empty())
    TakeSnapshotThenComplete(report.url);
  else {
    // Timed from the frame's load event (the page's clock is the wall clock).
    gint64 since_load =
        report.at_ms > 0 ? g_get_real_time() - static_cast<gint64>(report.at_ms * 1000) : 0;
    Complete(report.url, report.snapshot, g_get_monotonic_time() - since_load);
  }
}

void WebKitEngine::TakeSnapshotThenComplete(const std::string& url) {
  // A frame that cannot read its top document (another origin) sent no snapshot: take it
  // from the top.
  std::string script = SnapshotScript();
  auto* pending = new PendingSnapshot{link_, url, g_get_monotonic_time()};
  webkit_web_view_evaluate_javascript(view_, script.data(), static_cast<gssize>(script.size()),
                                      kWorld, nullptr, nullptr, OnSnapshotDone, pending);
}

void WebKitEngine::OnSnapshotDone(GObject* view, GAsyncResult* result, gpointer data) {
  std::unique_ptr<PendingSnapshot> pending(static_cast<PendingSnapshot*>(data));
  GError* error = nullptr;
  JSCValue* value =
      webkit_web_view_evaluate_javascript_finish(WEBKIT_WEB_VIEW(view), result, &error);
  std::string json;
  if (value) {
    if (jsc_value_is_string(value)) {
      char* raw = jsc_value_to_string(value);
      json = Utf8(raw);
      g_free(raw);
    }
    g_object_unref(value);
  }
  if (error) {
    if (g_getenv("MIRABO_WEBKIT_TRACE")) g_printerr("snapshot: %s\n", error->message);
    g_error_free(error);
  }
  std::shared_ptr<EngineLink> link = pending->link.lock();
  auto* engine = link ? static_cast<WebKitEngine*>(link->runner) : nullptr;
  if (engine) engine->Complete(pending->url, json, pending->started_us);
}

void WebKitEngine::Complete(const std::string& url, const std::string& json, gint64 started_us) {
  if (closed_ || crashed_ || !committed_) return;
  // A snapshot that could not be taken leaves the document empty; the completion is still
  // reported, so whoever waits for it goes on.
  auto snapshot = std::make_shared<Snapshot>(link_);
  if (!json.empty() && !snapshot->Parse(json) && g_getenv("MIRABO_WEBKIT_TRACE"))
    g_printerr("snapshot: unreadable result %.200s\n", json.c_str());
  snapshot->taken_us = g_get_monotonic_time() - started_us;
  snapshot->load_event_us = started_us;
  InstallSnapshot(snapshot);
  completion_owed_ = false;
  // The handler may end this engine: what comes after it uses none of it.
  std::shared_ptr<WebKitShared> shared = shared_;
  bool top = SameAddress(url, Utf8(webkit_web_view_get_uri(view_)));
  if (events_) {
    EventScope scope(link_, event_depth_);
    events_->DocumentComplete(text::ToSjis(url));
    // For the start-up benchmark: when the program has handled the document.
    if (g_getenv("MIRABO_TRACE"))
      g_printerr("mirabo-trace: complete %" G_GINT64_FORMAT " %s\n", g_get_monotonic_time(),
                 url.c_str());
  }
  if (top && !shared->page_completed) shared->ReleaseBlanks();
}

void WebKitEngine::InstallSnapshot(std::shared_ptr<Snapshot> snapshot) {
  if (event_depth_ == 0)
    retired_.clear();
  else if (snapshot_)
    retired_.push_back(snapshot_);
  snapshot_ = std::move(snapshot);
}

}  // namespace

// --- what the engines share ---

WebKitShared::WebKitShared(const std::string& data_folder) {
  WebKitWebsiteDataManager* data = nullptr;
  if (data_folder.empty()) {
    data = webkit_website_data_manager_new_ephemeral();
  } else {
    std::string cache = data_folder + "/cache";
    std::string store = data_folder + "/data";
    data = webkit_website_data_manager_new("base-cache-directory", cache.c_str(),
                                           "base-data-directory", store.c_str(), nullptr);
  }
  // No persistent storage is given to the cookie manager: the cookies live in memory, shared
  // by every tab. The site's cookies are sent from the frames of its pages too.
  webkit_cookie_manager_set_accept_policy(webkit_website_data_manager_get_cookie_manager(data),
                                          WEBKIT_COOKIE_POLICY_ACCEPT_ALWAYS);
  // Each web process measures its own memory use every poll interval by reading its
  // /proc/self/smaps, some 15 ms of CPU each time; at WebKit's 30 s, 32 resting tabs spend
  // 1.6 % of a core on it alone. The site's pages are small, and the system's memory pressure
  // still reaches the web processes within seconds (the UI process watches it), so they
  // measure themselves every five minutes.
  WebKitMemoryPressureSettings* memory = webkit_memory_pressure_settings_new();
  webkit_memory_pressure_settings_set_poll_interval(memory, 300);
  context = WEBKIT_WEB_CONTEXT(g_object_new(WEBKIT_TYPE_WEB_CONTEXT, "website-data-manager", data,
                                            "memory-pressure-settings", memory, nullptr));
  webkit_memory_pressure_settings_free(memory);
  g_object_unref(data);
  webkit_web_context_set_cache_model(context, WEBKIT_CACHE_MODEL_DOCUMENT_BROWSER);

  settings = webkit_settings_new();
  // Pages may open windows from script, as the original control let them.
  webkit_settings_set_javascript_can_open_windows_automatically(settings, TRUE);
  // A page shown again from history is loaded again, so its documents complete again.
  webkit_settings_set_enable_page_cache(settings, FALSE);
  webkit_settings_set_enable_developer_extras(settings, FALSE);
  // Nothing is fetched or sent that the page did not ask for.
  G_GNUC_BEGIN_IGNORE_DEPRECATIONS
  webkit_settings_set_enable_dns_prefetching(settings, FALSE);
  G_GNUC_END_IGNORE_DEPRECATIONS
  WebKitFeatureList* features = webkit_settings_get_all_features();
  for (gsize i = 0; i < webkit_feature_list_get_length(features); ++i) {
    WebKitFeature* feature = webkit_feature_list_get(features, i);
    std::string_view id = webkit_feature_get_identifier(feature);
    if (id == "LinkDNSPrefetch" || id == "LinkPreconnect" || id == "LinkPreconnectEarlyHints" ||
        id == "LinkPrefetch" || id == "SafeBrowsing" || id == "PrivateClickMeasurement" ||
        id == "BeaconAPI")
      webkit_settings_set_feature_enabled(settings, feature, FALSE);
  }
  webkit_feature_list_unref(features);

  content = webkit_user_content_manager_new();
  webkit_user_content_manager_register_script_message_handler_in_world(content, kChannel, kWorld);
  g_signal_connect(content, "script-message-received::miraboPage", G_CALLBACK(OnMessage), this);
  std::string source = kReporter;
  source.replace(source.find("SNAPSHOT"), 8, SnapshotFunction());
  WebKitUserScript* reporter = webkit_user_script_new_for_world(
      source.c_str(), WEBKIT_USER_CONTENT_INJECT_ALL_FRAMES,
      WEBKIT_USER_SCRIPT_INJECT_AT_DOCUMENT_START, kWorld, nullptr, nullptr);
  webkit_user_content_manager_add_script(content, reporter);
  webkit_user_script_unref(reporter);
  WebKitUserScript* close =
      webkit_user_script_new(kPageClose, WEBKIT_USER_CONTENT_INJECT_TOP_FRAME,
                             WEBKIT_USER_SCRIPT_INJECT_AT_DOCUMENT_START, nullptr, nullptr);
  webkit_user_content_manager_add_script(content, close);
  webkit_user_script_unref(close);
}

WebKitShared::~WebKitShared() {
  if (blank_check) g_source_remove(blank_check);
  if (blank_guard) g_source_remove(blank_guard);
  g_signal_handlers_disconnect_by_data(content, this);
  webkit_user_content_manager_unregister_script_message_handler_in_world(content, kChannel, kWorld);
  g_object_unref(content);
  g_object_unref(settings);
  g_object_unref(context);
}

void WebKitShared::HoldBlank() {
  if (!blank_check) blank_check = g_idle_add(OnBlankCheck, this);
  if (!blank_guard) blank_guard = g_timeout_add(3000, OnBlankGuard, this);
}

void WebKitShared::ReleaseBlanks() {
  page_completed = true;
  if (blank_check) g_source_remove(blank_check);
  if (blank_guard) g_source_remove(blank_guard);
  blank_check = blank_guard = 0;
  // Loading starts no handler of ours, so no engine comes or goes meanwhile.
  for (const auto& [id, engine] : engines) engine->RunHeldBlank();
}

gboolean WebKitShared::OnBlankCheck(gpointer self) {
  auto* shared = static_cast<WebKitShared*>(self);
  shared->blank_check = 0;
  for (const auto& [id, engine] : shared->engines)
    if (engine->OwesLoad()) return G_SOURCE_REMOVE;  // the blank pages wait for that page
  shared->ReleaseBlanks();
  return G_SOURCE_REMOVE;
}

gboolean WebKitShared::OnBlankGuard(gpointer self) {
  auto* shared = static_cast<WebKitShared*>(self);
  shared->blank_guard = 0;
  shared->ReleaseBlanks();
  return G_SOURCE_REMOVE;
}

void WebKitShared::SubmissionEnded() {
  // In the order the browsers were made; a load only starts here, so none comes or goes.
  for (const auto& [id, engine] : engines) engine->RunHeld();
}

void WebKitShared::OnMessage(WebKitUserContentManager*, WebKitJavascriptResult* result,
                             gpointer self) {
  auto* shared = static_cast<WebKitShared*>(self);
  JSCValue* value = webkit_javascript_result_get_js_value(result);
  if (!value || !jsc_value_is_string(value)) return;
  char* raw = jsc_value_to_string(value);
  std::string message = Utf8(raw);
  g_free(raw);
  PageReport report;
  if (!ParsePageReport(message, &report)) return;
  auto it = shared->engines.find(report.view);
  if (it != shared->engines.end()) it->second->OnPageReport(report);
}

// --- what the renderer and the benchmarks ask of an engine ---

std::int64_t LastSnapshotMicros(platform::BrowserEngine& engine) {
  auto* webkit = dynamic_cast<WebKitEngine*>(&engine);
  if (!webkit) return -1;
  auto* document = dynamic_cast<Snapshot*>(webkit->GetDocument());
  return document ? document->taken_us : -1;
}

std::int64_t LastLoadEventMicros(platform::BrowserEngine& engine) {
  auto* webkit = dynamic_cast<WebKitEngine*>(&engine);
  if (!webkit) return -1;
  auto* document = dynamic_cast<Snapshot*>(webkit->GetDocument());
  return document ? document->load_event_us : -1;
}

GtkWidget* EngineWidget(platform::BrowserEngine& engine) {
  auto* webkit = dynamic_cast<WebKitEngine*>(&engine);
  return webkit ? GTK_WIDGET(webkit->view()) : nullptr;
}

// --- the factory ---

WebKitBrowserFactory::WebKitBrowserFactory(const std::string& data_folder)
    : shared_(std::make_shared<WebKitShared>(data_folder)) {}

WebKitBrowserFactory::~WebKitBrowserFactory() = default;

std::unique_ptr<platform::BrowserEngine> WebKitBrowserFactory::Create(
    platform::BrowserEngine* related_to) {
  WebKitWebView* related = nullptr;
  if (related_to) {
    auto* opener = dynamic_cast<WebKitEngine*>(related_to);
    if (!opener || !opener->view()) return nullptr;
    related = opener->view();
  }
  auto engine = std::make_unique<WebKitEngine>(shared_, related);
  if (!engine->ok()) return nullptr;
  return engine;
}

}  // namespace platform::gtk
