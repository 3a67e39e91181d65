#include "tests/fake/fake_platform.h"

#include <algorithm>
#include <cctype>
#include <limits>

namespace fake {

int Scheduler::AddTimer(int interval_ms, std::function<void()> tick) {
  int id = next_id_++;
  timers_[id] = Entry{interval_ms, now_ + interval_ms, std::move(tick)};
  return id;
}

void Scheduler::RemoveTimer(int id) { timers_.erase(id); }

void Scheduler::Advance(std::int64_t ms) {
  const std::int64_t end = now_ + ms;
  for (;;) {
    int due_id = 0;
    std::int64_t due = std::numeric_limits<std::int64_t>::max();
    for (auto& [id, e] : timers_)
      if (e.due < due) {
        due = e.due;
        due_id = id;
      }
    if (due_id == 0 || due > end) break;
    now_ = std::max(now_, due);
    Entry& e = timers_[due_id];
    e.due += e.interval;
    auto tick = e.tick;  // the tick may remove its own timer
    tick();
  }
  now_ = std::max(now_, end);
}

platform::Answer Dialogs::MessageBox(const std::string& text, const std::string& caption,
                                     platform::Buttons buttons) {
  shown.push_back({"message", text, caption});
  if (during) during();
  if (!answers.empty()) {
    auto a = answers.front();
    answers.pop_front();
    return a;
  }
  return buttons == platform::Buttons::YesNo ? platform::Answer::Yes : platform::Answer::Ok;
}

std::string Dialogs::InputBox(const std::string& caption, const std::string& prompt,
                              const std::string&) {
  shown.push_back({"input", prompt, caption});
  if (during) during();
  if (inputs.empty()) return {};
  std::string s = inputs.front();
  inputs.pop_front();
  return s;
}

std::vector<Dialogs::Shown> Dialogs::messages() const {
  std::vector<Shown> out;
  for (auto& s : shown)
    if (s.kind == "message") out.push_back(s);
  return out;
}

Document* Document::AddFrame(FrameAccess access) {
  frames.push_back({access, std::make_unique<Document>()});
  return frames.back().doc.get();
}

platform::Document::FrameAccess Document::Frame(int i, platform::Document** out) {
  *out = nullptr;
  if (i < 0 || i >= FrameCount()) return FrameAccess::NoWindow;
  auto& f = frames[i];
  if (f.access == FrameAccess::Ok) *out = f.doc.get();
  return f.access;
}

void Document::SetOuterHtml(std::size_t i, const std::string& html) {
  Element& e = elements.at(i);
  ++rewrites;
  // The element itself stays in place; anything after it is new markup. Tests only look for
  // what the rewrite added, so a rough split is enough: the first tag is the element.
  if (html.rfind(e.outer, 0) == 0 && html.size() > e.outer.size()) {
    std::string rest = html.substr(e.outer.size());
    std::string tag;
    for (std::size_t k = 1; k < rest.size() && std::isalpha(static_cast<unsigned char>(rest[k]));
         ++k)
      tag += static_cast<char>(std::toupper(static_cast<unsigned char>(rest[k])));
    elements.insert(elements.begin() + i + 1, Element{tag, rest});
  } else {
    e.outer = html;
  }
}

bool Engine::BeforeNavigate(const std::string& url) {
  bool cancel = false;
  events->BeforeNavigate(url, cancel);
  if (!cancel) location = url;
  return cancel;
}

platform::BrowserEngine* Engine::NewWindow(const std::string& url, bool* cancelled) {
  bool cancel = false;
  platform::BrowserEngine* e = events->NewWindow(url, cancel);
  if (cancelled) *cancelled = cancel;
  return e;
}

Document& Engine::Complete(const std::string& url, std::unique_ptr<Document> doc) {
  document = doc ? std::move(doc) : std::make_unique<Document>();
  location = url;
  Document& d = *document;
  if (events) events->DocumentComplete(url);
  return d;
}

std::unique_ptr<platform::BrowserEngine> BrowserFactory::Create(platform::BrowserEngine* related) {
  if (fail_next > 0) {
    --fail_next;
    return nullptr;
  }
  auto e = std::make_unique<Engine>(*this, static_cast<Engine*>(related));
  created.push_back(e.get());
  live.push_back(e.get());
  return e;
}

}  // namespace fake

namespace fake {

Engine::~Engine() { std::erase(factory_.live, this); }

bool BrowserFactory::alive(const Engine* e) const {
  return std::find(live.begin(), live.end(), e) != live.end();
}

}  // namespace fake
