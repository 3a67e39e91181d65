// One page-watcher tick with every slot in use, on the fake platform.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>

#include "browser/MainForm.h"
#include "browser/program.h"
#include "tests/fake/fake_platform.h"
#include "text/files.h"

namespace {

void BM_PageWatcherTick32Browsers(benchmark::State& state) {
  auto old = std::filesystem::current_path();
  char tmpl[] = "/tmp/mirabo-bench-XXXXXX";
  std::string dir = mkdtemp(tmpl);
  std::filesystem::current_path(dir);
  {
    fake::Platform fp;
    text::Hosts hosts = text::DefaultHosts();
    text::WriteAtomic("your.id", "taro\r\n0\r\n");
    mirabo::Program program(fp.get(), hosts);
    fp.scheduler.Advance(20);
    mirabo::TMain& main = *program.Main;
    for (int i = 0; i < 30; ++i) main.DoNewTabExecute();
    for (auto* b : main.BrowserSlots) {
      auto& e = static_cast<fake::Engine&>(b->engine());
      e.Complete("http://hp.hobnest.jp/generic.jsp");
    }
    // Half the tabs still have no caption and an address that names none: the worst case.
    for (int i = 2; i < 32; i += 2)
      static_cast<ui::TabSheet*>(main.BrowserSlots[i]->parent())->SetCaption("x");
    for (auto _ : state) main.IdleTimerTimer();
    if (main.BrowserSlots[31] == nullptr) state.SkipWithError("tabs went away");
  }
  std::filesystem::current_path(old);
  std::filesystem::remove_all(dir);
}
BENCHMARK(BM_PageWatcherTick32Browsers);

}  // namespace

BENCHMARK_MAIN();
