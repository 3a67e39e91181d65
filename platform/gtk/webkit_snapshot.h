// The document of a WebKitGTK tab as the program sees it: a snapshot that a script of ours takes
// in an isolated script world of the top document, and the scripts that rewrite what it read.
// Used by the browser engine (webkit_engine.cpp) only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/document.h"

namespace platform::gtk {

// Runs a script in the isolated world of the tab's top document.
class ScriptRunner {
 public:
  virtual void RunInWorld(const std::string& script) = 0;

 protected:
  ~ScriptRunner() = default;
};

// What a snapshot holds of its engine: the engine while it lives, null after.
struct EngineLink {
  ScriptRunner* runner = nullptr;
};

// The snapshot taker: a script function of the top window (in the isolated world) that returns
// the snapshot as JSON text. It keeps the elements it read in that world under the snapshot's
// generation (the last few snapshots are kept), so that a rewrite reaches exactly the element
// that was read.
const char* SnapshotFunction();
// A script that runs it on the top document.
std::string SnapshotScript();

// A message of our scripts: which view sent it (the number the engine gave its page), what
// happened ("load": a frame's document completed; "close": the page closed its window), the
// frame's address and whether it is the top document.
struct PageReport {
  long view = 0;
  std::string kind;
  std::string url;
  bool top = false;
  std::string snapshot;  // with a load: the snapshot taken at once, if the frame could
  double at_ms = 0;      // with a load: when the load event came (ms since 1970)
};
// false when the message is not one.
bool ParsePageReport(const std::string& json, PageReport* out);

// A JavaScript string literal holding the UTF-8 text s.
std::string JsString(const std::string& s);

class Snapshot : public platform::Document {
 public:
  explicit Snapshot(std::shared_ptr<EngineLink> link);
  ~Snapshot() override;

  // Reads the snapshot script's result. false (and nothing read) when it is not one.
  bool Parse(const std::string& json);

  int FrameCount() override;
  FrameAccess Frame(int i, platform::Document** out) override;
  std::size_t ElementCount() override;
  std::string TagName(std::size_t i) override;
  // The outer HTML of INPUT, A and SCRIPT elements; empty for the others.
  std::string OuterHtml(std::size_t i) override;
  void SetOuterHtml(std::size_t i, const std::string& html) override;

  // How long the snapshot took, from the frame's load event (or from the request, when it was
  // asked for afterwards) to the parsed result, in µs; -1 if unknown.
  std::int64_t taken_us = -1;
  // When that load event (or request) came, on the monotonic clock (g_get_monotonic_time, µs);
  // -1 if unknown.
  std::int64_t load_event_us = -1;

 private:
  struct FrameSlot {
    FrameAccess access = FrameAccess::NoWindow;
    std::unique_ptr<Snapshot> document;
  };
  struct Reader;

  std::shared_ptr<EngineLink> link_;
  std::uint64_t generation_ = 0;
  int index_ = 0;                  // this document's number within the snapshot
  std::vector<std::string> tags_;  // upper case
  std::vector<std::string> html_;  // Shift-JIS; empty where not read
  std::vector<FrameSlot> frames_;
};

}  // namespace platform::gtk
