// The fake platform: the whole system runs headless on it, with a virtual clock, dialogs that
// answer from a script, and browser engines whose events the tests raise.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "platform/browser_engine.h"
#include "platform/platform.h"
#include "platform/services.h"
#include "ui/scheduler.h"

namespace fake {

// Timers fire in the order they fall due on a virtual clock that only Advance moves.
class Scheduler : public ui::Scheduler {
 public:
  int AddTimer(int interval_ms, std::function<void()> tick) override;
  void RemoveTimer(int id) override;
  void Run() override {}
  void Quit() override { quit = true; }

  // Moves virtual time on by ms, firing every timer that falls due, in order.
  void Advance(std::int64_t ms);
  std::int64_t now() const { return now_; }
  void Skip(std::int64_t ms) { now_ += ms; }  // time passes, nothing fires
  std::size_t active_timers() const { return timers_.size(); }
  bool quit = false;

 private:
  struct Entry {
    int interval;
    std::int64_t due;
    std::function<void()> tick;
  };
  std::map<int, Entry> timers_;
  int next_id_ = 1;
  std::int64_t now_ = 0;
};

class Clock : public platform::Clock {
 public:
  explicit Clock(Scheduler& s) : s_(s) {}
  std::int64_t NowMs() override { return s_.now(); }
  platform::LocalTime Local() override { return local; }
  void Sleep(int ms) override {
    sleeps.push_back(ms);
    s_.Skip(ms);
  }
  platform::LocalTime local{2004, 9, 30, 21, 5, 7, 4};
  std::vector<int> sleeps;

 private:
  Scheduler& s_;
};

// Records every box; answers from the queues (OK and an empty answer when they are empty).
class Dialogs : public platform::Dialogs {
 public:
  struct Shown {
    std::string kind;  // "message" or "input"
    std::string text, caption;
  };
  platform::Answer MessageBox(const std::string& text, const std::string& caption,
                              platform::Buttons buttons) override;
  std::string InputBox(const std::string& caption, const std::string& prompt,
                       const std::string& default_text) override;
  std::vector<Shown> shown;
  std::deque<platform::Answer> answers;
  std::deque<std::string> inputs;
  // Runs while a box is up, as the nested loop would run timers.
  std::function<void()> during;
  std::vector<Shown> messages() const;
};

struct Element {
  std::string tag;  // upper case
  std::string outer;
};

class Document : public platform::Document {
 public:
  struct FrameSlot {
    FrameAccess access = FrameAccess::Ok;
    std::unique_ptr<Document> doc;
  };
  // Adds a frame holding a new document; returns that document.
  Document* AddFrame(FrameAccess access = FrameAccess::Ok);
  void AddElement(const std::string& tag, const std::string& outer) {
    elements.push_back({tag, outer});
  }

  int FrameCount() override { return static_cast<int>(frames.size()); }
  FrameAccess Frame(int i, platform::Document** out) override;
  std::size_t ElementCount() override { return elements.size(); }
  std::string TagName(std::size_t i) override { return elements.at(i).tag; }
  std::string OuterHtml(std::size_t i) override { return elements.at(i).outer; }
  void SetOuterHtml(std::size_t i, const std::string& html) override;

  std::vector<FrameSlot> frames;
  std::vector<Element> elements;
  int rewrites = 0;
};

class BrowserFactory;

class Engine : public platform::BrowserEngine {
 public:
  Engine(BrowserFactory& factory, Engine* related) : factory_(factory), related_to(related) {}
  ~Engine() override;
  void SetEvents(platform::BrowserEngineEvents* e) override { events = e; }
  void Navigate(const std::string& url) override {
    navigations.push_back(url);
    location = url;
  }
  void Refresh() override { ++refreshes; }
  void GoBack() override { ++backs; }
  void GoForward() override { ++forwards; }
  std::string LocationUrl() override { return location; }
  platform::Document* GetDocument() override { return document.get(); }
  void WritePage(const std::string& page, const std::string& base_url) override {
    written.push_back(page);
    written_base.push_back(base_url);
  }
  void InsertText(const std::string& text) override { inserted.push_back(text); }

  // Raising events as the engine would.
  bool BeforeNavigate(const std::string& url);  // true when the handler cancelled it
  platform::BrowserEngine* NewWindow(const std::string& url, bool* cancelled = nullptr);
  void Title(const std::string& t) { events->TitleChange(t); }
  void Progress(int p, int max) { events->ProgressChange(p, max); }
  // Gives the browser a document (a fresh one unless given) and reports it complete.
  Document& Complete(const std::string& url, std::unique_ptr<Document> doc = nullptr);
  // The page closed its window or its web process died: no document any more.
  void LoseDocument() { document.reset(); }

  platform::BrowserEngineEvents* events = nullptr;
  std::unique_ptr<Document> document;
  std::string location;
  std::vector<std::string> navigations, written, written_base, inserted;
  int refreshes = 0, backs = 0, forwards = 0;

 private:
  BrowserFactory& factory_;

 public:
  Engine* related_to;
};

class BrowserFactory : public platform::BrowserFactory {
 public:
  std::unique_ptr<platform::BrowserEngine> Create(platform::BrowserEngine* related) override;
  int fail_next = 0;             // how many of the next creations fail
  std::vector<Engine*> created;  // every engine made, in order; check alive() before use
  bool alive(const Engine* e) const;
  std::vector<Engine*> live;
};

class Pointer : public platform::Pointer {
 public:
  platform::Point CursorPos() override { return pos; }
  int ScreenWidth() override { return 1280; }
  int ScreenHeight() override { return 1024; }
  bool IsActive(const ui::Form&) override { return active; }
  platform::Point ClientOrigin(const ui::Form&) override { return origin; }
  platform::Point pos{100, 100};
  bool active = true;
  platform::Point origin{200, 150};  // the main window's client area on the screen
};

class Shell : public platform::Shell {
 public:
  bool Open(const std::string& target, const std::string& parameters) override {
    opened.push_back({target, parameters});
    return result;
  }
  std::vector<std::pair<std::string, std::string>> opened;
  bool result = true;
};

// The named markers of one fake machine: every program built on the same fake platform sees
// the markers the others hold.
class SingleInstance : public platform::SingleInstance {
 public:
  Result Acquire(const std::string& name) override {
    if (fail) return Result::Failed;
    return held.insert(name).second ? Result::Acquired : Result::HeldElsewhere;
  }
  void Release(const std::string& name) override { held.erase(name); }
  std::set<std::string> held;
  bool fail = false;  // no marker can be made
};

// Records every request to switch the computer off; never switches anything off.
class Power : public platform::Power {
 public:
  void PowerOff() override { ++power_offs; }
  int power_offs = 0;
};

// Everything together, as a test builds it.
struct Platform {
  Scheduler scheduler;
  Clock clock{scheduler};
  Dialogs dialogs;
  BrowserFactory browsers;
  Shell shell;
  Pointer pointer;
  SingleInstance single_instance;
  Power power;
  platform::Platform get() {
    platform::Platform p{scheduler, clock, dialogs, browsers, shell, pointer};
    p.single_instance = &single_instance;
    p.power = &power;
    return p;
  }
};

}  // namespace fake
