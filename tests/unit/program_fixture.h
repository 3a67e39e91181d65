// A fresh Mirabo on the fake platform in a fresh working folder.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <memory>
#include <string>

#include "browser/LoginForm.h"
#include "browser/MainForm.h"
#include "browser/program.h"
#include "tests/fake/fake_platform.h"
#include "text/files.h"
#include "text/sjis.h"

namespace mirabo::testing {

using namespace text::literals;

inline text::Hosts TestHosts() {
  text::Hosts h = text::DefaultHosts();
  h.site = "site.test";
  h.homepage = "hp.test";
  h.app = "app.test";
  h.board = "bbs.test";
  return h;
}

class ProgramTest : public ::testing::Test {
 protected:
  void SetUp() override {
    old_cwd_ = std::filesystem::current_path();
    char tmpl[] = "/tmp/mirabo-test-XXXXXX";
    dir_ = mkdtemp(tmpl);
    std::filesystem::current_path(dir_);
  }
  void TearDown() override {
    program.reset();
    std::filesystem::current_path(old_cwd_);
    std::filesystem::remove_all(dir_);
  }

  // Creates the program; nothing has ticked yet.
  void Create() { program = std::make_unique<Program>(fp.get(), TestHosts()); }
  // Creates the program with a saved ID and runs the start-up tick.
  void Start(const std::string& id = "taro", const std::string& password = "0") {
    ASSERT_TRUE(text::WriteAtomic("your.id", id + "\r\n" + password + "\r\n"));
    Create();
    fp.scheduler.Advance(20);
  }
  // Both fixed tabs get their first document, as the real pages arrive.
  void LoadFixedTabs() {
    engine(0).Complete("about:blank");
    engine(1).Complete(main().MemberHomepage());
  }

  TMain& main() { return *program->Main; }
  TLogin& login() { return *program->Login; }
  fake::Engine& engine(int slot) { return EngineOf(main().BrowserSlots.at(slot)); }
  static fake::Engine& EngineOf(platform::WebBrowser* b) {
    return static_cast<fake::Engine&>(b->engine());
  }
  int used_slots() {
    int n = 0;
    while (n < TMain::kPageLimit && main().BrowserSlots[n]) ++n;
    return n;
  }
  // Opens a program tab as Ctrl+Alt+N does and gives it a document at `url`.
  int OpenLoadedTab(const std::string& url = "http://hp.test/@taro") {
    int slot = main().OpenTab(url, false, "test");
    if (slot >= 0) engine(slot).Complete(url);
    return slot;
  }
  ui::TabSheet* SheetOfSlot(int slot) {
    return static_cast<ui::TabSheet*>(main().BrowserSlots.at(slot)->parent());
  }
  void Tick(int n = 1) { fp.scheduler.Advance(60 * n); }
  std::string Sj(const char* utf8) { return text::ToSjis(utf8); }
  std::vector<std::string> MessageTexts() {
    std::vector<std::string> out;
    for (auto& m : fp.dialogs.messages()) out.push_back(text::ToUtf8(m.text));
    return out;
  }

  fake::Platform fp;
  std::unique_ptr<Program> program;

 private:
  std::filesystem::path old_cwd_;
  std::string dir_;
};

// A program past its start-up tick whose two fixed tabs have their first documents.
class StartedProgramTest : public ProgramTest {
 protected:
  void SetUp() override {
    ProgramTest::SetUp();
    Start();
    LoadFixedTabs();
  }
};

}  // namespace mirabo::testing
