// The scan of a frame of 5,000 elements in Mirabo's home tab on WebKitGTK: a real program on the
// real backend (with the recording shell) in a temporary program folder, its home page served
// by a loopback server as a frameset whose main frame holds 5,000 elements and the chat input.
// Each repetition loads the home page again and reports the time from the frame's load event
// (where the engine's snapshot starts) to the end of ScanFrames, which adds the chat button.
// Needs a display: run it under Xvfb (xvfb-run -a mirabo_bench_gtk).
#include <benchmark/benchmark.h>
#include <glib.h>
#include <gtk/gtk.h>
#include <httplib.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "browser/MainForm.h"
#include "browser/program.h"
#include "platform/document.h"
#include "platform/gtk/gtk_platform.h"
#include "platform/gtk/webkit_engine.h"
#include "tests/e2e/gtk_events.h"
#include "text/files.h"
#include "text/hosts.h"

namespace {

constexpr int kElements = 5000;
constexpr const char kFramePath[] = "/chat/input.jsp";

// The main frame: HTML, HEAD and BODY, 1,665 rows of a link and a field, then the chat form
// (FORM and the chatctrl INPUT) last, so the scan walks every element before it finds it.
std::string BigFrame() {
  std::string b = "<html><head></head><body>";
  for (int i = 0; i < 1665; ++i)
    b += "<div><a href=\"/x?" + std::to_string(i) + "\">l</a><input name=\"i" + std::to_string(i) +
         "\"></div>";
  b += "<form name=\"chat\" method=\"post\" action=\"/chat/say.jsp\">"
       "<input type=\"text\" name=\"chatctrl\" size=\"50\" maxlength=\"200\"></form>"
       "</body></html>";
  return b;
}

class Site {
 public:
  Site() {
    const std::string type = "text/html; charset=Shift_JIS";
    server_.Get("/@taro", [type](const httplib::Request&, httplib::Response& res) {
      res.set_content(
          "<html><head><title>::: Hobnest :::</title></head>"
          "<frameset rows=\"84,*\"><frame name=\"hp_top\" src=\"/hp/top.jsp?id=taro\">"
          "<frame name=\"hp_main\" src=\"/chat/input.jsp?id=taro\"></frameset></html>",
          type);
    });
    server_.Get("/hp/top.jsp", [type](const httplib::Request&, httplib::Response& res) {
      res.set_content("<html><body><a href=\"/x\">top</a></body></html>", type);
    });
    std::string frame = BigFrame();
    server_.Get(kFramePath, [type, frame](const httplib::Request&, httplib::Response& res) {
      res.set_content(frame, type);
    });
    port_ = server_.bind_to_any_port("127.0.0.1");
    thread_ = std::thread([this] { server_.listen_after_bind(); });
  }
  ~Site() {
    server_.stop();
    thread_.join();
  }
  int port() const { return port_; }

 private:
  httplib::Server server_;
  int port_ = 0;
  std::thread thread_;
};

// Runs the GLib main loop until cond holds or ms have passed.
bool WaitFor(const std::function<bool()>& cond, int ms) { return ::e2e::PumpUntil(cond, ms); }

// One completed document of the home tab, as its handler saw it.
struct Completion {
  std::string url;
  std::int64_t load_event_us = -1;  // the frame's load event (monotonic)
  std::int64_t snapshot_us = -1;    // load event to snapshot in hand
  std::int64_t handler_in_us = 0;   // WBDocumentComplete called
  std::int64_t handler_out_us = 0;  // WBDocumentComplete (ScanFrames, busy mark) done
  std::size_t frame_elements = 0;   // elements of the main frame in the snapshot
  bool chat_button = false;         // the main frame's chatctrl INPUT got the button
};

class HomeTab {
 public:
  HomeTab() {
    std::filesystem::current_path(folder_);
    std::string host = "127.0.0.1:" + std::to_string(site_.port());
    text::WriteAtomic("Hosts.txt", "SITE = " + host + "\r\nHOMEPAGE = " + host +
                                       "\r\nAPP = " + host + "\r\nBOARD = " + host +
                                       "\r\nUPDATE = " + host + "\r\n");
    text::WriteAtomic("your.id", "taro\r\n0\r\n");
    homepage_ = "http://" + host + "/@taro";
    frame_ = "http://" + host + kFramePath + "?id=taro";
    real_ = std::make_unique<platform::gtk::RealPlatform>(
        platform::gtk::RealPlatform::ShellKind::Recording);
    program_ = std::make_unique<mirabo::Program>(real_->platform(), text::LoadHosts());
    program_->Main->Show();
    started_ = WaitFor([this] { return Track() && Completed(homepage_); }, 30000);
  }
  ~HomeTab() {
    program_.reset();
    real_.reset();
    std::filesystem::current_path(old_);
    std::filesystem::remove_all(folder_);
  }

  bool started() const { return started_; }
  // How often the page watcher gave the home tab a new browser while the first page loaded.
  int replaced_at_start() const { return wrapped_browsers_ - 1; }

  // Loads the home page again; the completion of its main frame, or null when it did not come.
  const Completion* Reload() {
    completions_.clear();
    Track();
    program_->Main->BrowserSlots[mirabo::TMain::kHomeSlot]->Navigate(homepage_);
    if (!WaitFor([this] { return Track() && Completed(homepage_); }, 30000)) return nullptr;
    for (const Completion& c : completions_)
      if (c.url == frame_) return &c;
    return nullptr;
  }

 private:
  static std::string MakeFolder() {
    char tmpl[] = "/tmp/mirabo-scan-bench-XXXXXX";
    const char* made = mkdtemp(tmpl);
    return made ? made : "/tmp";
  }

  bool Completed(const std::string& url) const {
    return std::any_of(completions_.begin(), completions_.end(),
                       [&](const Completion& c) { return c.url == url; });
  }

  // Puts the recorder around the completion handler of the home tab's current browser (the page
  // watcher may have replaced it). Always true, so it can sit in a wait's condition.
  bool Track() {
    platform::WebBrowser* b = program_->Main->BrowserSlots[mirabo::TMain::kHomeSlot];
    if (!b || b == wrapped_) return true;
    wrapped_ = b;
    ++wrapped_browsers_;
    auto inner = b->OnDocumentComplete;
    b->OnDocumentComplete = [this, inner](platform::WebBrowser& sender, platform::Document* doc,
                                          const std::string& url) {
      Completion c;
      c.handler_in_us = g_get_monotonic_time();
      if (inner) inner(sender, doc, url);
      c.handler_out_us = g_get_monotonic_time();
      c.url = url;
      c.load_event_us = platform::gtk::LastLoadEventMicros(sender.engine());
      c.snapshot_us = platform::gtk::LastSnapshotMicros(sender.engine());
      Inspect(doc, &c);
      completions_.push_back(c);
    };
    return true;
  }

  // The main frame (the last frame of the top document) after the scan.
  static void Inspect(platform::Document* doc, Completion* c) {
    if (!doc || doc->FrameCount() < 2) return;
    platform::Document* frame = nullptr;
    if (doc->Frame(doc->FrameCount() - 1, &frame) != platform::Document::FrameAccess::Ok || !frame)
      return;
    c->frame_elements = frame->ElementCount();
    for (std::size_t i = 0; i < frame->ElementCount(); ++i) {
      std::string html = frame->OuterHtml(i);
      if (frame->TagName(i) == "INPUT" && html.find("chatctrl") != std::string::npos)
        c->chat_button = html.find("XXXX") != std::string::npos;
    }
  }

  std::filesystem::path old_ = std::filesystem::current_path();
  std::string folder_ = MakeFolder();
  Site site_;
  std::string homepage_, frame_;
  std::unique_ptr<platform::gtk::RealPlatform> real_;
  std::unique_ptr<mirabo::Program> program_;
  platform::WebBrowser* wrapped_ = nullptr;
  int wrapped_browsers_ = 0;
  std::vector<Completion> completions_;
  bool started_ = false;
};

double Max(const std::vector<double>& v) {
  return v.empty() ? 0 : *std::max_element(v.begin(), v.end());
}

void BM_ScanOfAFrameOf5000Elements(benchmark::State& state, HomeTab* tab) {
  for (auto _ : state) {
    const Completion* c = tab->Reload();
    if (!c || c->load_event_us < 0) {
      state.SkipWithError("the main frame did not complete");
      return;
    }
    if (c->frame_elements != static_cast<std::size_t>(kElements) || !c->chat_button) {
      state.SkipWithError("the main frame is not the 5,000-element chat frame, or got no button");
      return;
    }
    state.SetIterationTime(static_cast<double>(c->handler_out_us - c->load_event_us) / 1e6);
    state.counters["snapshot_ms"] = static_cast<double>(c->snapshot_us) / 1e3;
    state.counters["delivery_us"] =
        static_cast<double>(c->handler_in_us - c->load_event_us - c->snapshot_us);
    state.counters["scan_ms"] = static_cast<double>(c->handler_out_us - c->handler_in_us) / 1e3;
  }
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  if (!gtk_init_check(&argc, &argv)) {
    std::fprintf(stderr, "mirabo_bench_gtk: no display; run it under Xvfb (xvfb-run -a)\n");
    return 1;
  }
  int status = 0;
  {
    HomeTab tab;
    if (!tab.started()) {
      std::fprintf(stderr, "mirabo_bench_gtk: the home page did not complete\n");
      status = 1;
    } else {
      std::printf("home tab: the page watcher replaced its browser %d time(s) at start-up\n",
                  tab.replaced_at_start());
      benchmark::RegisterBenchmark("BM_ScanOfAFrameOf5000Elements", BM_ScanOfAFrameOf5000Elements,
                                   &tab)
          ->UseManualTime()
          ->Unit(benchmark::kMillisecond)
          ->Iterations(1)
          ->Repetitions(15)
          ->ComputeStatistics("max", Max);
      benchmark::RunSpecifiedBenchmarks();
    }
  }
  benchmark::Shutdown();
  return status;
}
