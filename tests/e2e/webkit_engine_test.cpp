// The WebKitGTK browser engine on its own, against pages served by a loopback server in this
// process: navigation decisions for the top document and its frames, new windows handed back
// by the handler, titles and progress, documents completing in every frame with their
// snapshots, rewriting an element in a frame, written pages posting their form exactly once
// with the site's cookies, and the cases in which a browser has no document.
#include "platform/gtk/webkit_engine.h"

#include <gtest/gtest.h>
#include <gtk/gtk.h>
#include <httplib.h>
#include <webkit2/webkit2.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/browser_engine.h"
#include "platform/document.h"
#include "tests/e2e/gtk_events.h"
#include "text/sjis.h"

namespace {

using platform::BrowserEngine;
using platform::Document;
using text::literals::operator""_sj;
using Access = Document::FrameAccess;

// Runs the GLib main loop until cond holds or ms have passed.
bool WaitFor(const std::function<bool()>& cond, int ms = 8000) {
  return ::e2e::PumpUntil(cond, ms);
}

struct Hit {
  std::string method, path, query, body, cookie, content_type;
};

// The test site: two loopback origins (the second is "another origin" for the frames).
class Site {
 public:
  Site() {
    auto log = [this](const httplib::Request& req, const httplib::Response&) {
      std::lock_guard<std::mutex> lock(mutex_);
      std::string query;
      for (const auto& [k, v] : req.params) query += (query.empty() ? "" : "&") + k + "=" + v;
      hits_.push_back({req.method, req.path, query, req.body, req.get_header_value("Cookie"),
                       req.get_header_value("Content-Type")});
    };
    main_.set_logger(log);
    // One request per connection: the engines' idle connections do not hold up the stop.
    main_.set_keep_alive_max_count(1);
    other_.set_keep_alive_max_count(1);
    port_ = main_.bind_to_any_port("127.0.0.1");
    other_port_ = other_.bind_to_any_port("127.0.0.1");
    Routes();
    // Both sockets listen already: connections made before the threads accept them wait.
    main_thread_ = std::thread([this] { main_.listen_after_bind(); });
    other_thread_ = std::thread([this] { other_.listen_after_bind(); });
  }
  ~Site() {
    OpenGate();
    main_.stop();
    other_.stop();
    main_thread_.join();
    other_thread_.join();
  }

  std::string Url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
  }
  std::string OtherUrl(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(other_port_) + path;
  }
  std::vector<Hit> Hits() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return hits_;
  }
  int Count(const std::string& method, const std::string& path) const {
    int n = 0;
    for (const Hit& h : Hits()) n += h.method == method && h.path == path;
    return n;
  }
  // "/gated.html" answers once the gate is open (or after 20 s, so nothing waits forever).
  void OpenGate() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      gate_open_ = true;
    }
    gate_.notify_all();
  }
  std::vector<Hit> Posts() const {
    std::vector<Hit> posts;
    for (const Hit& h : Hits())
      if (h.method == "POST") posts.push_back(h);
    return posts;
  }

 private:
  void Page(const std::string& path, const std::string& html) {
    main_.Get(path, [html](const httplib::Request&, httplib::Response& res) {
      res.set_content(html, "text/html; charset=utf-8");
    });
  }

  void Routes() {
    main_.Get("/gated.html", [this](const httplib::Request&, httplib::Response& res) {
      std::unique_lock<std::mutex> lock(mutex_);
      gate_.wait_for(lock, std::chrono::seconds(20), [this] { return gate_open_; });
      res.set_content("<html><head><title>gated</title></head><body>in</body></html>", "text/html");
    });
    Page("/frames.html",
         "<html><head><title>Frames</title></head><frameset rows='50%,25%,25%'>"
         "<frame name='links' src='/links.html'><frame name='input' src='/input.html'>"
         "<frame name='foreign' src='" +
             OtherUrl("/foreign.html") + "'></frameset></html>");
    Page("/links.html",
         "<html><head><title>links</title><script>var s = '<b>&amp;';</script></head><body>"
         "<a href=\"javascript:open_myhp('abc')\">abc</a><a href='/next.html'>next</a>"
         "<iframe src='/inner.html'></iframe></body></html>");
    Page("/inner.html", "<html><body><p>inner</p></body></html>");
    Page("/next.html", "<html><head><title>next</title></head><body>next</body></html>");
    Page("/input.html",
         "<html><body><form action='/say' method='post'>"
         "<input type='text' name='chatctrl' size='40'></form></body></html>");
    other_.Get("/foreign.html", [](const httplib::Request&, httplib::Response& res) {
      res.set_content("<html><body><input name='foreign'></body></html>", "text/html");
    });
    Page("/notitle.html",
         "<html><body>no title <a id='cancel' href='/cancelled.html'>c</a></body></html>");
    Page("/cancelled.html", "<html><head><title>cancelled</title></head></html>");
    Page("/opener.html",
         "<html><head><title>opener</title></head><body>"
         "<a id='blank' href='/popup.html?how=blank' target='_blank'>blank</a>"
         "<script>function openIt() { window.open('/popup.html?how=script'); }</script>"
         "</body></html>");
    Page("/popup.html",
         "<html><head><title>popup</title></head><body onload=\"document.title = "
         "window.opener ? 'popup with opener' : 'popup without opener'\">popup</body></html>");
    Page("/close.html",
         "<html><head><title>closer</title></head>"
         "<body onload='setTimeout(function () { window.close(); }, 20)'>bye</body></html>");
    Page("/closing-popup.html",
         "<html><head><title>closing</title></head>"
         "<body onload='setTimeout(function () { window.close(); }, 20)'>bye</body></html>");
    Page("/dialogs.html",
         "<html><head><title>dialogs</title></head><body onload=\"alert('hi'); "
         "document.title = confirm('sure?') ? 'confirmed' : 'refused'\"></body></html>");
    Page("/edit.html",
         "<html><head><title>edit</title></head><body>"
         "<input id='field' value='' autofocus onfocus='document.title = \"focused\"'>"
         "</body></html>");
    Page("/plain.html", "<html><head><title>plain</title></head><body>plain</body></html>");
    main_.Get("/setcookie", [](const httplib::Request&, httplib::Response& res) {
      res.set_header("Set-Cookie", "sid=s3cr3t; Path=/");
      res.set_content("<html><head><title>cookie</title></head></html>", "text/html");
    });
    main_.Post("/member/login/login_login_e.jsp",
               [](const httplib::Request&, httplib::Response& res) {
                 res.set_content("<html><head><title>welcome</title></head><body>ok</body></html>",
                                 "text/html");
               });
    main_.Get("/big.html", [](const httplib::Request&, httplib::Response& res) {
      res.set_content("<html><frameset rows='*'><frame src='/bigframe.html'></frameset></html>",
                      "text/html");
    });
    // A frame of 5,000 elements (HTML, HEAD, BODY and 4,997 more).
    main_.Get("/bigframe.html", [](const httplib::Request&, httplib::Response& res) {
      std::string b = "<html><body>";
      for (int i = 0; i < 1665; ++i)
        b += "<div><a href='/x?" + std::to_string(i) + "'>l</a><input name='i" + std::to_string(i) +
             "'></div>";
      b += "<p></p><p></p></body></html>";
      res.set_content(b, "text/html");
    });
  }

  httplib::Server main_, other_;
  int port_ = 0, other_port_ = 0;
  std::thread main_thread_, other_thread_;
  mutable std::mutex mutex_;
  std::condition_variable gate_;
  bool gate_open_ = false;
  std::vector<Hit> hits_;
};

// Records what an engine reports and answers as a test tells it.
struct Recorder : platform::BrowserEngineEvents {
  std::vector<std::string> navigations, titles, completes, new_windows;
  std::vector<std::pair<int, int>> progress;
  std::function<bool(const std::string&)> cancel = [](const std::string&) { return false; };
  std::function<BrowserEngine*(const std::string&, bool&)> new_window =
      [](const std::string&, bool&) -> BrowserEngine* { return nullptr; };
  std::function<void(const std::string&)> on_complete;

  void BeforeNavigate(const std::string& url, bool& c) override {
    navigations.push_back(url);
    c = cancel(url);
  }
  BrowserEngine* NewWindow(const std::string& url, bool& c) override {
    new_windows.push_back(url);
    return new_window(url, c);
  }
  void TitleChange(const std::string& title) override { titles.push_back(title); }
  void ProgressChange(int p, int max) override { progress.push_back({p, max}); }
  void DocumentComplete(const std::string& url) override {
    completes.push_back(url);
    if (on_complete) on_complete(url);
  }

  bool Completed(const std::string& url) const {
    for (const std::string& u : completes)
      if (u == url) return true;
    return false;
  }
  bool Navigated(const std::string& url) const {
    for (const std::string& u : navigations)
      if (u == url) return true;
    return false;
  }
};

// One browser with its recorder, shown in an offscreen window as a tab would show it.
struct Tab {
  std::unique_ptr<BrowserEngine> engine;
  Recorder events;
  GtkWidget* window = nullptr;

  // A tab that is not shown is as one behind another tab: its window is not on screen.
  explicit Tab(std::unique_ptr<BrowserEngine> e, bool shown = true) : engine(std::move(e)) {
    if (!engine) return;
    engine->SetEvents(&events);
    window = gtk_offscreen_window_new();
    gtk_window_set_default_size(GTK_WINDOW(window), 800, 600);
    gtk_container_add(GTK_CONTAINER(window), platform::gtk::EngineWidget(*engine));
    if (shown) gtk_widget_show_all(window);
  }
  void Show() { gtk_widget_show_all(window); }
  ~Tab() {
    if (!engine) return;
    engine->SetEvents(nullptr);
    gtk_container_remove(GTK_CONTAINER(window), platform::gtk::EngineWidget(*engine));
    gtk_widget_destroy(window);
  }
  WebKitWebView* view() { return WEBKIT_WEB_VIEW(platform::gtk::EngineWidget(*engine)); }

  // Evaluates a script in the page's own world and returns its result as text.
  std::string Eval(const std::string& script) {
    struct Result {
      bool done = false;
      std::string text;
    } result;
    webkit_web_view_evaluate_javascript(
        view(), script.c_str(), -1, nullptr, nullptr, nullptr,
        [](GObject* object, GAsyncResult* res, gpointer data) {
          auto* r = static_cast<Result*>(data);
          GError* error = nullptr;
          JSCValue* value =
              webkit_web_view_evaluate_javascript_finish(WEBKIT_WEB_VIEW(object), res, &error);
          if (value) {
            char* s = jsc_value_to_string(value);
            r->text = s;
            g_free(s);
            g_object_unref(value);
          } else {
            r->text = std::string("error: ") + error->message;
            g_error_free(error);
          }
          r->done = true;
        },
        &result);
    WaitFor([&] { return result.done; });
    return result.text;
  }

  bool Open(const std::string& url) {
    events.completes.clear();
    engine->Navigate(url);
    return WaitFor([&] { return events.Completed(url); });
  }
};

class WebKitEngineTest : public ::testing::Test {
 protected:
  std::unique_ptr<Tab> NewTab(BrowserEngine* related_to = nullptr, bool shown = true) {
    return std::make_unique<Tab>(factory_.Create(related_to), shown);
  }

  // Makes the handler of tab's new windows hand back a browser created related to it, which
  // it first sends to "about:blank" when blank_first is set (as the program does).
  void HandBackNewWindows(Tab& tab, bool blank_first) {
    tab.events.new_window = [this, &tab, blank_first](const std::string&, bool&) {
      popups_.push_back(NewTab(tab.engine.get()));
      if (blank_first) popups_.back()->engine->Navigate("about:blank");
      return popups_.back()->engine.get();
    };
  }

  Site site_;
  platform::gtk::WebKitBrowserFactory factory_;
  std::vector<std::unique_ptr<Tab>> popups_;
};

// The first INPUT of doc whose outer HTML holds needle, or -1.
long FindInput(Document& doc, const std::string& needle) {
  for (std::size_t i = 0; i < doc.ElementCount(); ++i)
    if (doc.TagName(i) == "INPUT" && doc.OuterHtml(i).find(needle) != std::string::npos)
      return static_cast<long>(i);
  return -1;
}

TEST_F(WebKitEngineTest, NoDocumentBeforeTheFirstCommitThenTheBlankPage) {
  auto tab = NewTab();
  ASSERT_TRUE(tab->engine);
  EXPECT_EQ(tab->engine->GetDocument(), nullptr);
  EXPECT_EQ(tab->engine->LocationUrl(), "");

  ASSERT_TRUE(tab->Open("about:blank"));
  EXPECT_EQ(tab->engine->LocationUrl(), "about:blank");
  ASSERT_NE(tab->engine->GetDocument(), nullptr);
  EXPECT_EQ(tab->events.navigations, std::vector<std::string>{"about:blank"});
}

// At start-up the member waits for the home tab's page; the site tab is sent to a blank page,
// whose web process would compete with the home page's. It waits for the first page to
// complete, and the program sees it where it was sent all along.
TEST_F(WebKitEngineTest, AtStartUpABlankPageWaitsForTheFirstPage) {
  auto site_tab = NewTab();
  auto home = NewTab();
  site_tab->engine->Navigate("about:blank");
  home->engine->Navigate(site_.Url("/next.html"));
  EXPECT_EQ(site_tab->events.navigations, std::vector<std::string>{"about:blank"});
  EXPECT_EQ(site_tab->engine->LocationUrl(), "about:blank");
  EXPECT_NE(site_tab->engine->GetDocument(), nullptr);  // starting up, not a lost page

  std::string blank_when_home_completed = "(home never completed)";
  home->events.on_complete = [&](const std::string&) {
    const char* uri = webkit_web_view_get_uri(site_tab->view());
    blank_when_home_completed = uri ? uri : "";
  };
  ASSERT_TRUE(WaitFor([&] { return home->events.Completed(site_.Url("/next.html")); }));
  EXPECT_EQ(blank_when_home_completed, "");
  ASSERT_TRUE(WaitFor([&] { return site_tab->events.Completed("about:blank"); }));

  // Start-up is over: a blank page no longer waits for a page still on its way.
  home->engine->Navigate(site_.Url("/gated.html"));
  auto later = NewTab(nullptr, false);
  ASSERT_TRUE(later->Open("about:blank"));
  EXPECT_FALSE(home->events.Completed(site_.Url("/gated.html")));
  site_.OpenGate();
  EXPECT_TRUE(WaitFor([&] { return home->events.Completed(site_.Url("/gated.html")); }));
}

TEST_F(WebKitEngineTest, AHeldBlankPageLoadsWhenItsBrowserIsShownOrHasNothingToWaitFor) {
  auto site_tab = NewTab(nullptr, false);
  auto home = NewTab();
  site_tab->engine->Navigate("about:blank");
  home->engine->Navigate(site_.Url("/gated.html"));
  site_tab->Show();  // the member opens the site tab before the home page has come
  ASSERT_TRUE(WaitFor([&] { return site_tab->events.Completed("about:blank"); }));
  EXPECT_FALSE(home->events.Completed(site_.Url("/gated.html")));
  site_.OpenGate();
  EXPECT_TRUE(WaitFor([&] { return home->events.Completed(site_.Url("/gated.html")); }));

  // A hidden browser alone has no page to wait for (well before the guard's three seconds).
  platform::gtk::WebKitBrowserFactory factory;
  Tab alone(factory.Create(nullptr), false);
  alone.engine->Navigate("about:blank");
  EXPECT_TRUE(WaitFor([&] { return alone.events.Completed("about:blank"); }, 2000));
}

TEST_F(WebKitEngineTest, NavigationsOfTheTopDocumentAndOfItsFramesAreDecidedByTheHandler) {
  auto tab = NewTab();
  // The input frame's navigation is cancelled: its document never arrives.
  tab->events.cancel = [&](const std::string& url) { return url == site_.Url("/input.html"); };
  ASSERT_TRUE(tab->Open(site_.Url("/frames.html")));

  for (const std::string& url :
       {site_.Url("/frames.html"), site_.Url("/links.html"), site_.Url("/input.html"),
        site_.OtherUrl("/foreign.html"), site_.Url("/inner.html")})
    EXPECT_TRUE(tab->events.Navigated(url)) << url;
  EXPECT_EQ(site_.Count("GET", "/input.html"), 0);
  EXPECT_EQ(site_.Count("GET", "/links.html"), 1);

  // A link the handler refuses leaves the page where it is.
  tab->events.cancel = [&](const std::string& url) { return url == site_.Url("/cancelled.html"); };
  ASSERT_TRUE(tab->Open(site_.Url("/notitle.html")));
  tab->Eval("document.getElementById('cancel').click(); 1");
  ASSERT_TRUE(WaitFor([&] { return tab->events.Navigated(site_.Url("/cancelled.html")); }));
  // Whatever the refused link would have done has happened by the time a later load is done.
  ASSERT_TRUE(tab->Open(site_.Url("/plain.html")));
  EXPECT_EQ(site_.Count("GET", "/cancelled.html"), 0);
}

TEST_F(WebKitEngineTest, DocumentCompleteFiresPerFrameWithTheCompletedSnapshot) {
  auto tab = NewTab();
  // What the handler sees of the document when the top document completes.
  struct Seen {
    int frames = -1;
    Access links = Access::NoWindow, input = Access::NoWindow, foreign = Access::Ok;
    std::vector<std::string> top_tags, links_tags;
    std::string anchor, script, chat_input, inner_tag;
  } seen;
  const std::string top_url = site_.Url("/frames.html");
  tab->events.on_complete = [&](const std::string& url) {
    if (url != top_url) return;
    Document* doc = tab->engine->GetDocument();
    ASSERT_NE(doc, nullptr);
    seen.frames = doc->FrameCount();
    for (std::size_t i = 0; i < doc->ElementCount(); ++i) seen.top_tags.push_back(doc->TagName(i));
    Document* links = nullptr;
    Document* input = nullptr;
    Document* foreign = nullptr;
    seen.links = doc->Frame(0, &links);
    seen.input = doc->Frame(1, &input);
    seen.foreign = doc->Frame(2, &foreign);
    if (links) {
      for (std::size_t i = 0; i < links->ElementCount(); ++i) {
        std::string tag = links->TagName(i);
        seen.links_tags.push_back(tag);
        if (tag == "A" && seen.anchor.empty()) seen.anchor = links->OuterHtml(i);
        if (tag == "SCRIPT") seen.script = links->OuterHtml(i);
      }
      Document* inner = nullptr;
      if (links->FrameCount() == 1 && links->Frame(0, &inner) == Access::Ok && inner)
        seen.inner_tag = inner->TagName(inner->ElementCount() - 1);
    }
    if (input) {
      long i = FindInput(*input, "chatctrl");
      if (i >= 0) seen.chat_input = input->OuterHtml(static_cast<std::size_t>(i));
    }
  };
  ASSERT_TRUE(tab->Open(top_url));

  // Every same-origin frame reported its own completion, nested frames before their parents.
  auto& c = tab->events.completes;
  auto pos = [&](const std::string& path) {
    for (std::size_t i = 0; i < c.size(); ++i)
      if (c[i] == site_.Url(path)) return static_cast<long>(i);
    return -1L;
  };
  EXPECT_GE(pos("/input.html"), 0);
  EXPECT_GE(pos("/inner.html"), 0);
  EXPECT_LT(pos("/inner.html"), pos("/links.html"));
  EXPECT_LT(pos("/links.html"), pos("/frames.html"));

  EXPECT_EQ(seen.frames, 3);
  EXPECT_EQ(seen.top_tags, (std::vector<std::string>{"HTML", "HEAD", "TITLE", "FRAMESET", "FRAME",
                                                     "FRAME", "FRAME"}));
  EXPECT_EQ(seen.links, Access::Ok);
  EXPECT_EQ(seen.input, Access::Ok);
  EXPECT_EQ(seen.foreign, Access::NoDocument);
  EXPECT_EQ(seen.links_tags, (std::vector<std::string>{"HTML", "HEAD", "TITLE", "SCRIPT", "BODY",
                                                       "A", "A", "IFRAME"}));
  EXPECT_NE(seen.anchor.find("open_myhp('abc')"), std::string::npos) << seen.anchor;
  EXPECT_EQ(seen.script, "<script>var s = '<b>&amp;';</script>");
  EXPECT_NE(seen.chat_input.find("name=\"chatctrl\""), std::string::npos) << seen.chat_input;
  EXPECT_EQ(seen.inner_tag, "P");

  // A frame that loads again reports again, with a snapshot of its new document.
  std::string links_after;
  tab->events.on_complete = [&](const std::string& url) {
    if (url != site_.Url("/next.html")) return;
    Document* links = nullptr;
    if (tab->engine->GetDocument()->Frame(0, &links) == Access::Ok)
      links_after = links->TagName(links->ElementCount() - 1);
  };
  tab->Eval("frames[0].location.href = '/next.html'; 1");
  ASSERT_TRUE(WaitFor([&] { return tab->events.Completed(site_.Url("/next.html")); }));
  EXPECT_EQ(links_after, "BODY");
}

TEST_F(WebKitEngineTest, RewritingAnInputOfAFrameAddsOneButtonAfterItEvenWhenTheFrameReloads) {
  auto tab = NewTab();
  const std::string button = "<INPUT TYPE='SUBMIT' NAME='XXXX' VALUE='発言' ALT=''>"_sj;
  int rewrites = 0;
  // What the chat scan does: the button is added after the chat input unless it is there.
  tab->events.on_complete = [&](const std::string&) {
    Document* doc = tab->engine->GetDocument();
    Document* input = nullptr;
    if (!doc || doc->FrameCount() < 2 || doc->Frame(1, &input) != Access::Ok) return;
    if (FindInput(*input, "XXXX") >= 0) return;
    long i = FindInput(*input, "chatctrl");
    if (i < 0) return;
    auto at = static_cast<std::size_t>(i);
    input->SetOuterHtml(at, input->OuterHtml(at) + button);
    EXPECT_EQ(input->OuterHtml(at).substr(input->OuterHtml(at).size() - button.size()), button);
    ++rewrites;
  };
  ASSERT_TRUE(tab->Open(site_.Url("/frames.html")));
  const char* count =
      "(function () { var d = frames[1].document, b = d.getElementsByName('XXXX');"
      " return b.length + ':' + (b.length ? b[0].previousElementSibling.name + ':' +"
      " b[0].value : ''); })()";
  ASSERT_TRUE(WaitFor([&] { return tab->Eval(count) == "1:chatctrl:発言"; })) << tab->Eval(count);
  // Each frame's completion carries a snapshot taken at its load: on a loaded machine several
  // may have been taken before the first rewrite reached the page, and their rewrites find
  // their element replaced already. The page has one button whatever their number.
  const int first = rewrites;
  EXPECT_GE(first, 1);

  // A frame completing again (the snapshot now holds the button) adds none.
  tab->events.completes.clear();
  tab->Eval("frames[0].location.reload(); 1");
  ASSERT_TRUE(WaitFor([&] { return tab->events.Completed(site_.Url("/links.html")); }));
  EXPECT_EQ(rewrites, first);
  EXPECT_EQ(tab->Eval(count), "1:chatctrl:発言");

  // The input frame loaded anew has lost its button and gets exactly one again.
  tab->events.completes.clear();
  tab->Eval("frames[1].location.reload(); 1");
  ASSERT_TRUE(WaitFor([&] { return tab->events.Completed(site_.Url("/input.html")); }));
  ASSERT_TRUE(WaitFor([&] { return tab->Eval(count) == "1:chatctrl:発言"; })) << tab->Eval(count);
  EXPECT_EQ(rewrites, first + 1);
}

struct NewWindowCase {
  const char* name;
  const char* trigger;  // script in the opener's page
  const char* url;      // what the new window loads
  bool blank_first;     // the handler sends the new browser to about:blank before handing it
  const char* title;    // the window's page names itself by whether it knows its opener
};

class NewWindowTest : public WebKitEngineTest,
                      public ::testing::WithParamInterface<NewWindowCase> {};

TEST_P(NewWindowTest, LoadsInTheBrowserTheHandlerHandsBack) {
  const NewWindowCase& c = GetParam();
  auto opener = NewTab();
  HandBackNewWindows(*opener, c.blank_first);
  ASSERT_TRUE(opener->Open(site_.Url("/opener.html")));
  opener->Eval(c.trigger);

  ASSERT_TRUE(WaitFor([&] { return !popups_.empty(); }));
  Tab& popup = *popups_.back();
  const std::string url = site_.Url(c.url);
  EXPECT_EQ(opener->events.new_windows, std::vector<std::string>{url});
  ASSERT_TRUE(WaitFor([&] { return popup.events.Completed(url); }));
  EXPECT_EQ(popup.engine->LocationUrl(), url);
  EXPECT_TRUE(popup.events.Navigated(url));
  // A window opened by script knows its opener (a target=_blank link means no opener), and
  // its events are its own browser's.
  ASSERT_TRUE(WaitFor(
      [&] { return !popup.events.titles.empty() && popup.events.titles.back() == c.title; }));
  EXPECT_FALSE(opener->events.Completed(url));
  EXPECT_EQ(site_.Count("GET", "/popup.html"), 1);
}

INSTANTIATE_TEST_SUITE_P(
    Windows, NewWindowTest,
    ::testing::Values(NewWindowCase{"ScriptOpen", "openIt(); 1", "/popup.html?how=script", false,
                                    "popup with opener"},
                      NewWindowCase{"ScriptOpenAfterBlank", "openIt(); 1", "/popup.html?how=script",
                                    true, "popup with opener"},
                      NewWindowCase{"TargetBlank", "document.getElementById('blank').click(); 1",
                                    "/popup.html?how=blank", false, "popup without opener"},
                      NewWindowCase{"TargetBlankAfterBlank",
                                    "document.getElementById('blank').click(); 1",
                                    "/popup.html?how=blank", true, "popup without opener"}),
    [](const ::testing::TestParamInfo<NewWindowCase>& info) { return info.param.name; });

TEST_F(WebKitEngineTest, ANewWindowNotHandedBackOrCancelledOpensNothing) {
  auto tab = NewTab();
  ASSERT_TRUE(tab->Open(site_.Url("/opener.html")));
  for (bool cancel : {false, true}) {
    tab->events.new_windows.clear();
    tab->events.new_window = [cancel](const std::string&, bool& c) -> BrowserEngine* {
      c = cancel;
      return nullptr;
    };
    tab->Eval("openIt(); 1");
    ASSERT_TRUE(WaitFor([&] { return !tab->events.new_windows.empty(); }));
    // The opener's next load is done after anything the refused window would have loaded.
    ASSERT_TRUE(tab->Open(site_.Url("/opener.html")));
    EXPECT_EQ(site_.Count("GET", "/popup.html"), 0) << "cancel " << cancel;
  }
}

TEST_F(WebKitEngineTest, TitlesProgressAndSilentDialogs) {
  auto tab = NewTab();
  ASSERT_TRUE(tab->Open(site_.Url("/notitle.html")));
  // A page without a title is named by its address (the title may come after the document).
  ASSERT_TRUE(WaitFor([&] { return !tab->events.titles.empty(); }));
  EXPECT_EQ(tab->events.titles.back(), site_.Url("/notitle.html"));
  ASSERT_TRUE(WaitFor(
      [&] { return !tab->events.progress.empty() && tab->events.progress.back().first == -1; }));
  for (auto [p, max] : tab->events.progress) {
    EXPECT_EQ(max, 100);
    EXPECT_TRUE(p == -1 || (p >= 0 && p <= 100)) << p;
  }

  // Alerts do not hold the page; questions are answered no.
  ASSERT_TRUE(tab->Open(site_.Url("/dialogs.html")));
  ASSERT_TRUE(WaitFor(
      [&] { return !tab->events.titles.empty() && tab->events.titles.back() == "refused"; }));
}

TEST_F(WebKitEngineTest, HistoryMovesOnlyWhereThereIsSome) {
  auto tab = NewTab();
  ASSERT_TRUE(tab->Open(site_.Url("/plain.html")));
  tab->events.navigations.clear();
  tab->engine->GoBack();
  tab->engine->GoForward();
  ASSERT_TRUE(tab->Open(site_.Url("/next.html")));
  EXPECT_EQ(tab->events.navigations, std::vector<std::string>{site_.Url("/next.html")});

  tab->events.completes.clear();
  tab->engine->GoBack();
  ASSERT_TRUE(WaitFor([&] { return tab->events.Completed(site_.Url("/plain.html")); }));
  EXPECT_EQ(tab->engine->LocationUrl(), site_.Url("/plain.html"));
  tab->engine->GoForward();
  ASSERT_TRUE(WaitFor([&] { return tab->events.Completed(site_.Url("/next.html")); }));

  // A plain page is loaded again by a refresh.
  int before = site_.Count("GET", "/next.html");
  tab->events.completes.clear();
  tab->engine->Refresh();
  ASSERT_TRUE(WaitFor([&] { return tab->events.Completed(site_.Url("/next.html")); }));
  EXPECT_EQ(site_.Count("GET", "/next.html"), before + 1);
}

TEST_F(WebKitEngineTest, InsertTextTypesIntoTheFocusedField) {
  auto tab = NewTab();
  ASSERT_TRUE(tab->Open(site_.Url("/edit.html")));
  tab->Eval("document.getElementById('field').focus(); 1");
  tab->engine->InsertText("こんにちは 'a' & <b>"_sj);
  EXPECT_TRUE(WaitFor([&] {
    return tab->Eval("document.getElementById('field').value") == "こんにちは 'a' & <b>";
  })) << tab->Eval("document.getElementById('field').value");
}

// The login page of the program, as it writes it.
std::string LoginPage(const std::string& action, const std::string& id,
                      const std::string& password) {
  return "<html><head><title>自動ログイン</title></head>"
         "<body onLoad='javascript:a.submit();'><center><br><br><br><br><br>"
         "<h1>ログイン中</h1></center><form name='a' method='post' action='"_sj +
         action + "'><input type='hidden' name='id' value='" + id +
         "'><input type='hidden' name='password' value='" + password + "'></form></body></html>";
}

TEST_F(WebKitEngineTest, AWrittenPagePostsItsFormOnceFromTheSiteWithItsCookies) {
  auto tab = NewTab();
  ASSERT_TRUE(tab->Open(site_.Url("/setcookie")));
  const std::string action = site_.Url("/member/login/login_login_e.jsp");
  tab->events.navigations.clear();
  tab->events.completes.clear();

  // The fresh-page write: the page, then a refresh right after it.
  tab->engine->WritePage(LoginPage(action, "太郎&lt;"_sj, "パス"_sj), action);
  tab->engine->Refresh();
  ASSERT_TRUE(WaitFor([&] { return tab->events.Completed(action); }));
  // The answer is a POST result; refreshing it would post again.
  tab->engine->Refresh();

  // The written page's own load was neither a navigation nor a completed document; the
  // submission is both.
  EXPECT_EQ(tab->events.navigations, std::vector<std::string>{action});
  EXPECT_EQ(tab->events.completes, std::vector<std::string>{action});
  EXPECT_EQ(tab->engine->LocationUrl(), action);

  // The in-place write: refresh, then the next page, over the answer to the last one; its
  // base is written as WebKit would not write it.
  tab->events.navigations.clear();
  tab->events.completes.clear();
  tab->engine->Refresh();
  std::string base = "HTTP" + action.substr(4);
  tab->engine->WritePage(LoginPage(action, "花子"_sj, "x"), base);
  ASSERT_TRUE(WaitFor([&] { return tab->events.Completed(action); }));
  tab->engine->Refresh();
  EXPECT_EQ(tab->events.navigations, std::vector<std::string>{action});

  // Nothing more arrives (a second post would come within this wait).
  EXPECT_FALSE(WaitFor([&] { return site_.Posts().size() > 2; }, 1500));
  auto posts = site_.Posts();
  ASSERT_EQ(posts.size(), 2u);
  // Shift_JIS form encoding, the site's cookie, from the site's own origin.
  EXPECT_EQ(posts[0].body, "id=%91%BE%98Y%3C&password=%83p%83X");
  EXPECT_EQ(posts[1].body, "id=%89%D4%8Eq&password=x");
  for (const Hit& post : posts) {
    EXPECT_EQ(post.cookie, "sid=s3cr3t");
    EXPECT_EQ(post.content_type, "application/x-www-form-urlencoded");
  }
  // The written page was never fetched: only the form was sent.
  EXPECT_EQ(site_.Count("GET", "/member/login/login_login_e.jsp"), 0);
}

// A page written just after a blank page was asked of a browser whose web process is still
// starting: the blank page may commit after the write. Only the written page's commit starts
// its submission, so what another tab asked meanwhile waits for the site's answer to the form.
TEST_F(WebKitEngineTest, AWrittenPageAfterABlankPageStillStartingIsTheOneSubmitted) {
  auto other = NewTab();
  ASSERT_TRUE(other->Open(site_.Url("/next.html")));
  const std::string action = site_.Url("/member/login/login_login_e.jsp");
  for (int round = 0; round < 3; ++round) {
    auto site_tab = NewTab();  // no web process yet
    site_tab->engine->Navigate("about:blank");
    site_tab->engine->WritePage(LoginPage(action, "太郎"_sj, "パス"_sj), action);
    const std::size_t before = site_.Hits().size();
    other->engine->Navigate(site_.Url("/next.html?after"));
    ASSERT_TRUE(WaitFor([&] { return site_tab->events.Completed(action); })) << round;
    ASSERT_TRUE(WaitFor([&] { return other->events.Completed(site_.Url("/next.html?after")); }));
    std::vector<Hit> hits = site_.Hits();
    std::vector<std::string> order;
    for (std::size_t i = before; i < hits.size(); ++i)
      order.push_back(hits[i].method + " " + hits[i].path);
    EXPECT_EQ(order,
              (std::vector<std::string>{"POST /member/login/login_login_e.jsp", "GET /next.html"}))
        << round;
  }
}

TEST_F(WebKitEngineTest, TabsShareTheSiteCookies) {
  auto first = NewTab();
  auto second = NewTab();
  ASSERT_TRUE(first->Open(site_.Url("/setcookie")));
  ASSERT_TRUE(second->Open(site_.Url("/plain.html")));
  auto hits = site_.Hits();
  ASSERT_FALSE(hits.empty());
  EXPECT_EQ(hits.back().path, "/plain.html");
  EXPECT_EQ(hits.back().cookie, "sid=s3cr3t");
}

TEST_F(WebKitEngineTest, APageThatClosesItsWindowLeavesNoDocument) {
  // A page in a tab of its own.
  auto tab = NewTab();
  ASSERT_TRUE(tab->Open(site_.Url("/plain.html")));
  ASSERT_TRUE(tab->Open(site_.Url("/close.html")));
  ASSERT_TRUE(WaitFor([&] { return tab->engine->GetDocument() == nullptr; }));
  // The view stays for the program to take away.
  EXPECT_NE(platform::gtk::EngineWidget(*tab->engine), nullptr);

  // A window opened by a page.
  auto opener = NewTab();
  HandBackNewWindows(*opener, true);
  ASSERT_TRUE(opener->Open(site_.Url("/opener.html")));
  opener->Eval("window.open('/closing-popup.html'); 1");
  ASSERT_TRUE(WaitFor([&] { return !popups_.empty(); }));
  Tab& popup = *popups_.back();
  ASSERT_TRUE(WaitFor([&] { return popup.events.Completed(site_.Url("/closing-popup.html")); }));
  ASSERT_TRUE(WaitFor([&] { return popup.engine->GetDocument() == nullptr; }));
  EXPECT_NE(opener->engine->GetDocument(), nullptr);
}

TEST_F(WebKitEngineTest, AnEndedWebProcessLeavesNoDocumentUntilTheNextPage) {
  auto tab = NewTab();
  ASSERT_TRUE(tab->Open(site_.Url("/plain.html")));
  ASSERT_NE(tab->engine->GetDocument(), nullptr);
  webkit_web_view_terminate_web_process(tab->view());
  ASSERT_TRUE(WaitFor([&] { return tab->engine->GetDocument() == nullptr; }));
  ASSERT_TRUE(tab->Open(site_.Url("/next.html")));
  EXPECT_NE(tab->engine->GetDocument(), nullptr);
}

// Figures for the note: the snapshot of a frame of 5,000 elements, from the frame's load event
// to the snapshot in hand, and the scan of it that the chat button and the walkthrough make.
TEST_F(WebKitEngineTest, SnapshotOfAFrameOfFiveThousandElements) {
  auto tab = NewTab();
  std::vector<long long> snapshot_us, scan_us;
  std::size_t elements = 0;
  tab->events.on_complete = [&](const std::string& url) {
    if (url != site_.Url("/bigframe.html")) return;
    auto start = std::chrono::steady_clock::now();
    Document* doc = tab->engine->GetDocument();
    Document* frame = nullptr;
    ASSERT_EQ(doc->Frame(0, &frame), Access::Ok);
    std::size_t links = 0;
    for (int pass = 0; pass < 2; ++pass)
      for (std::size_t i = 0; i < frame->ElementCount(); ++i) {
        std::string tag = frame->TagName(i);
        if (tag == "INPUT") {
          if (frame->OuterHtml(i).find("XXXX") != std::string::npos) break;
        } else if (pass == 0 && tag == "A") {
          links += frame->OuterHtml(i).find("open_myhp('") == std::string::npos;
        }
      }
    auto scan = std::chrono::duration_cast<std::chrono::microseconds>(
        std::chrono::steady_clock::now() - start);
    elements = frame->ElementCount();
    EXPECT_EQ(links, 1665u);
    snapshot_us.push_back(platform::gtk::LastSnapshotMicros(*tab->engine));
    scan_us.push_back(scan.count());
  };
  for (int run = 0; run < 3; ++run) ASSERT_TRUE(tab->Open(site_.Url("/big.html")));
  EXPECT_EQ(elements, 5000u);
  ASSERT_EQ(snapshot_us.size(), 3u);
  for (std::size_t i = 0; i < snapshot_us.size(); ++i) {
    std::printf("[ figure   ] snapshot of 5000 elements: %lld us, scan: %lld us\n", snapshot_us[i],
                scan_us[i]);
    EXPECT_GT(snapshot_us[i], 0);
  }
  RecordProperty("snapshot_us", std::to_string(snapshot_us.back()));
}

}  // namespace
