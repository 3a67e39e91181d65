// The online status, the sleep watch and the count-down on the real backend: Mirabo with GTK
// and WebKitGTK under a virtual display, logged in to hobnest-sim on a loopback port. Statuses
// are chosen through the menus' own widgets, the pointer is moved by XTest, and what reached
// the site is read from the sim. The platform records shell and power requests: nothing opens
// on the desktop and nothing is ever switched off.
//
// With MIRABO_SHOTS set to a folder, the tests also save pictures of the settings dialog and of
// the count-down window there.
#include <gtest/gtest.h>
#include <gtk/gtk.h>
#include <unistd.h>
#include <webkit2/webkit2.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "browser/LoginForm.h"
#include "browser/MainForm.h"
#include "browser/OnlStatForm.h"
#include "browser/PowerOffForm.h"
#include "browser/program.h"
#include "hobnest-sim/sim.h"
#include "platform/gtk/gtk_platform.h"
#include "platform/gtk/gtk_renderer.h"
#include "platform/gtk/webkit_engine.h"
#include "tests/e2e/gtk_events.h"
#include "tests/e2e/xtest_pointer.h"
#include "text/files.h"
#include "text/sjis.h"

namespace {

using platform::gtk::GtkRenderer;
using platform::gtk::RealPlatform;

constexpr char kInsert[] = "/logs/logs_insert_e.jsp";

// Runs the GLib main loop until cond holds or ms have passed.
bool WaitFor(const std::function<bool()>& cond, int ms = 15000) {
  return ::e2e::PumpUntil(cond, ms);
}

std::string Sj(const std::string& utf8) { return text::ToSjis(utf8); }

// Answers the program's message boxes from inside their nested loops, recording their texts.
class BoxAnswerer {
 public:
  explicit BoxAnswerer(platform::gtk::GtkDialogs& dialogs, int response = GTK_RESPONSE_OK)
      : dialogs_(dialogs), response_(response) {
    source_ = g_timeout_add(20, &BoxAnswerer::Poll, this);
  }
  ~BoxAnswerer() { g_source_remove(source_); }
  std::vector<std::string> texts;   // UTF-8
  std::vector<std::string> titles;  // UTF-8

 private:
  static gboolean Poll(gpointer self) {
    auto* a = static_cast<BoxAnswerer*>(self);
    GtkWidget* box = a->dialogs_.current();
    if (box && GTK_IS_MESSAGE_DIALOG(box)) {
      gchar* t = nullptr;
      g_object_get(box, "text", &t, nullptr);
      a->texts.push_back(t ? t : "");
      g_free(t);
      const char* title = gtk_window_get_title(GTK_WINDOW(box));
      a->titles.push_back(title ? title : "");
      gtk_dialog_response(GTK_DIALOG(box), a->response_);
    }
    return G_SOURCE_CONTINUE;
  }
  platform::gtk::GtkDialogs& dialogs_;
  int response_;
  guint source_ = 0;
};

class PresenceE2eTest : public ::testing::Test {
 protected:
  void SetUp() override {
    port_ = sim_.Start(0);
    ASSERT_GT(port_, 0);
    old_cwd_ = std::filesystem::current_path();
    char tmpl[] = "/tmp/mirabo-e2e-XXXXXX";
    dir_ = mkdtemp(tmpl);
    std::filesystem::current_path(dir_);
    ASSERT_TRUE(text::WriteAtomic("your.id", "taro\r\n0\r\n", 0600));
  }
  void TearDown() override {
    // The pointer goes back where it was: without a window manager the keyboard follows it,
    // and later tests type into windows at the middle of the screen.
    if (pointer_moved_) e2e::MovePointer(pointer_home_.x, pointer_home_.y);
    program_.reset();
    real_.reset();
    std::filesystem::current_path(old_cwd_);
    std::filesystem::remove_all(dir_);
  }

  // Starts Mirabo against the sim, logs in as taro and waits for the login's answer.
  void StartAndLogIn() {
    real_ = std::make_unique<RealPlatform>(RealPlatform::ShellKind::Recording);
    text::Hosts hosts = text::DefaultHosts();
    const std::string here = "127.0.0.1:" + std::to_string(port_);
    hosts.site = hosts.homepage = hosts.app = hosts.board = hosts.update = here;
    program_ = std::make_unique<mirabo::Program>(real_->platform(), hosts);
    main().Show();
    ASSERT_TRUE(WaitFor([&] { return main().InitTimer == nullptr; }));
    ASSERT_TRUE(WaitFor([&] { return main().WB3->tag() == 0 && main().WB3->GetDocument(); }))
        << "the home tab loads";
    mirabo::TLogin& login = *program_->Login;
    login.PassWord->SetText("taro-pass");
    login.Button1->Click();
    ASSERT_TRUE(WaitFor([&] {
      for (const auto& r : sim_.Requests())
        if (r.path == "/member/login/login_login_e.jsp" && r.method == "POST") return true;
      return false;
    }));
    ASSERT_TRUE(main().N13->enabled());
    ASSERT_TRUE(WaitFor([&] {
      return main().WB2->LocationUrl().find("login_login_e") != std::string::npos &&
             main().WB2->GetDocument();
    }));
  }

  mirabo::TMain& main() { return *program_->Main; }
  mirabo::TOnlStat& onlstat() { return *program_->OnlStat; }
  mirabo::TPowerOff& poweroff() { return *program_->PowerOff; }

  std::vector<hobnest::FormPost> StatusPosts() {
    std::vector<hobnest::FormPost> out;
    for (auto& p : sim_.Posts())
      if (p.path == kInsert) out.push_back(p);
    return out;
  }
  static std::string Field(const hobnest::FormPost& p, const std::string& name) {
    for (const auto& [n, v] : p.fields)
      if (n == name) return v;
    return "<missing>";
  }
  bool WaitForPosts(std::size_t n, int ms = 15000) {
    return WaitFor([&] { return StatusPosts().size() >= n; }, ms);
  }

  // Chooses a menu item through its widget, as a click on it does.
  void Choose(ui::MenuItem& item) {
    GtkWidget* w = GtkRenderer::MenuItemWidgetOf(item);
    ASSERT_NE(w, nullptr) << item.name();
    gtk_menu_item_activate(GTK_MENU_ITEM(w));
  }
  // The same for an item of the popup menu, which is built when it first pops up.
  void ChooseFromPopup(ui::MenuItem& item) {
    real_->renderer().Popup(*main().PopupMenu1);
    GtkWidget* menu = real_->renderer().PopupWidgetOf(*main().PopupMenu1);
    ASSERT_NE(menu, nullptr);
    Choose(item);
    gtk_menu_popdown(GTK_MENU(menu));
  }

  WebKitWebView* ViewOf(platform::WebBrowser* b) {
    return WEBKIT_WEB_VIEW(platform::gtk::EngineWidget(b->engine()));
  }
  void RunScript(platform::WebBrowser* b, const std::string& script) {
    webkit_web_view_evaluate_javascript(ViewOf(b), script.c_str(), -1, nullptr, nullptr, nullptr,
                                        nullptr, nullptr);
  }

  // Saves a picture of a form's window into $MIRABO_SHOTS, once it has been drawn.
  static void Shot(ui::Form& form, const std::string& name) {
    const char* folder = std::getenv("MIRABO_SHOTS");
    if (!folder) return;
    GtkWidget* win = GtkRenderer::WidgetOf(form);
    ASSERT_NE(win, nullptr);
    int draws = 0;
    gulong id =
        g_signal_connect_after(win, "draw", G_CALLBACK(+[](GtkWidget*, cairo_t*, gpointer n) {
                                 ++*static_cast<int*>(n);
                                 return FALSE;
                               }),
                               &draws);
    gtk_widget_queue_draw(win);
    EXPECT_TRUE(WaitFor([&] { return draws >= 2; }, 5000));
    g_signal_handler_disconnect(win, id);
    GdkWindow* gw = gtk_widget_get_window(win);
    GdkPixbuf* shot =
        gdk_pixbuf_get_from_window(gw, 0, 0, gdk_window_get_width(gw), gdk_window_get_height(gw));
    ASSERT_NE(shot, nullptr);
    std::string path = std::string(folder) + "/" + name;
    EXPECT_TRUE(gdk_pixbuf_save(shot, path.c_str(), "png", nullptr, nullptr)) << path;
    g_object_unref(shot);
  }

  // Moves the pointer by XTest, remembering where it was at the first move.
  void MovePointer(int x, int y) {
    if (!pointer_moved_) pointer_home_ = real_->pointer().CursorPos();
    pointer_moved_ = true;
    e2e::MovePointer(x, y);
  }

  hobnest::Sim sim_;
  int port_ = -1;
  bool pointer_moved_ = false;
  platform::Point pointer_home_;
  std::unique_ptr<RealPlatform> real_;
  std::unique_ptr<mirabo::Program> program_;

 private:
  std::filesystem::path old_cwd_;
  std::string dir_;
};

TEST_F(PresenceE2eTest, StatusesChosenFromBothMenusArePostedExactlyWithTheAvatarCode) {
  const std::string out = "外出中(≧ω≦)！ ｶﾞｲｼｭﾂ \"引用\" <b> & 'x'";
  std::string file;
  const char* texts[] = {"只今活動中(☆∀☆)", "一時退席中(* ^ーﾟ)", out.c_str(),
                         "取り込み中(||  ﾟДﾟ)", "恐らく寝てます(ﾟДﾟ;≡;ﾟдﾟ)"};
  for (const char* t : texts) file += Sj(t) + "\r\n";
  ASSERT_TRUE(text::WriteAtomic("OnlStatus.txt", file + "5,0,0,0,0,15,30,1\r\n"));
  StartAndLogIn();
  const std::string code = sim_.AvatarCode("taro") + "11";

  // From the main menu.
  Choose(*main().NST[2]);
  ASSERT_NE(main().StatusBrowser(), nullptr);
  EXPECT_EQ(main().ScreenTab->active_page(), main().StatusBrowser()->parent());
  EXPECT_TRUE(main().NST_2[2]->checked());
  ASSERT_TRUE(WaitForPosts(2)) << "the first post and the one with the code";
  auto posts = StatusPosts();
  EXPECT_EQ(posts[0].fields,
            (std::vector<std::pair<std::string, std::string>>{
                {"homepage", "taro"}, {"cpg", "1"}, {"message", out}, {"avatar", ""}}));
  EXPECT_NE(posts[0].cookie.find("HNSESSION="), std::string::npos) << posts[0].cookie;
  EXPECT_EQ(Field(posts[1], "message"), out);
  EXPECT_EQ(Field(posts[1], "avatar"), code);
  EXPECT_EQ(main().AvatarCode, Sj(code));
  auto book = sim_.Guestbook("taro");
  ASSERT_EQ(book.size(), 2u);
  EXPECT_EQ(book[1].message, out);
  EXPECT_EQ(book[1].avatar, code);

  // A link on the answer page stays where it is.
  platform::WebBrowser* status = main().StatusBrowser();
  ASSERT_TRUE(WaitFor([&] { return status->tag() == 0; }));
  auto homepage_fetches = [&] {
    int n = 0;
    for (const auto& r : sim_.Requests()) n += r.path == "/@taro";
    return n;
  };
  const int fetched = homepage_fetches();
  {
    BoxAnswerer boxes(real_->dialogs());
    RunScript(status, "document.querySelector('a[href^=\"/@\"]').click();");
    ASSERT_TRUE(WaitFor([&] { return !boxes.texts.empty(); }));
    EXPECT_EQ(boxes.texts, std::vector<std::string>{"このページからはリンク移動できません。"});
    EXPECT_EQ(boxes.titles, std::vector<std::string>{"Mirabo::オンラインステータス"});
  }
  EXPECT_NE(status->LocationUrl().find(kInsert), std::string::npos);
  EXPECT_EQ(homepage_fetches(), fetched) << "the link was not followed";

  // From the popup: the new status within moments, in the same tab, with the code.
  const int pages = main().ScreenTab->PageCount();
  ChooseFromPopup(*main().NST_2[1]);
  EXPECT_TRUE(main().NST[1]->checked());
  EXPECT_FALSE(main().NST[2]->checked());
  ASSERT_TRUE(WaitForPosts(3));
  posts = StatusPosts();
  EXPECT_EQ(Field(posts[2], "message"), "一時退席中(* ^ーﾟ)");
  EXPECT_EQ(Field(posts[2], "avatar"), code);
  EXPECT_EQ(main().ScreenTab->PageCount(), pages);

  // Unchecking the status closes its tab.
  ASSERT_TRUE(WaitFor([&] { return main().StatusBrowser()->tag() == 0; }));
  Choose(*main().NST[1]);
  EXPECT_FALSE(main().StatusActive);
  EXPECT_EQ(main().ScreenTab->PageCount(), pages - 1);
  EXPECT_FALSE(main().NST_2[1]->checked());
}

TEST_F(PresenceE2eTest, ARefusingGuestbookStopsThePostsAndKeepsTheTab) {
  sim_.SetGuestbookRefuses("taro", true);
  StartAndLogIn();
  ChooseFromPopup(*main().NST_2[3]);
  ASSERT_TRUE(WaitForPosts(1));
  ASSERT_TRUE(WaitFor([&] { return !main().StatTimer.enabled(); })) << "the refusal is read";
  EXPECT_FALSE(WaitForPosts(2, 1500)) << "no post after the refusal";
  EXPECT_TRUE(main().StatusActive);
  ASSERT_NE(main().StatusBrowser(), nullptr);
  EXPECT_EQ(main().ScreenTab->PageCount(), 3);
  EXPECT_TRUE(sim_.Guestbook("taro").empty());
}

TEST_F(PresenceE2eTest, ThePointerMovedByXTestCancelsTheCountDownAndTheSleepCount) {
  StartAndLogIn();
  // A whole-day window, one minute without movement, a one-minute count-down.
  mirabo::TOnlStat& s = onlstat();
  s.SleepStartHour = s.SleepEndHour = 1;
  s.SleepStartMinute = s.SleepEndMinute = 30;
  s.SleepMinutes = 1;
  s.ShutdownMinutes = 1;
  s.AutoShutdown = true;

  MovePointer(200, 150);
  ASSERT_TRUE(WaitFor([&] {
    return main().LastCursorPos == platform::Point{200, 150};
  })) << "GDK's pointer follows XTest";
  // The minute of the sleep timer, as it ends with the mouse at rest.
  main().SleepTimerTimer();
  ASSERT_EQ(main().NoMouseMinutes, 1);
  ASSERT_TRUE(main().NST[4]->checked());
  ASSERT_TRUE(poweroff().visible());
  GtkWidget* win = GtkRenderer::WidgetOf(poweroff());
  ASSERT_TRUE(WaitFor([&] { return win && gtk_widget_get_mapped(win); }));
  ASSERT_TRUE(WaitFor([&] { return poweroff().CGauge1->progress() >= 3; }, 5000))
      << "the count-down runs";
  Shot(poweroff(), "power-off.png");
  ASSERT_TRUE(WaitForPosts(1)) << "the asleep text is posted";
  EXPECT_EQ(Field(StatusPosts()[0], "message"), "恐らく寝てます(ﾟДﾟ;≡;ﾟдﾟ)");

  main().NoMouseMinutes = 7;
  MovePointer(201, 150);
  ASSERT_TRUE(WaitFor([&] { return !poweroff().visible(); }, 5000));
  EXPECT_EQ(main().NoMouseMinutes, 0);
  EXPECT_FALSE(poweroff().Timer1.enabled());
  EXPECT_TRUE(WaitFor([&] { return !gtk_widget_get_mapped(win); }, 5000));
  EXPECT_EQ(real_->recording_power()->power_offs, 0);
  EXPECT_TRUE(main().NST[4]->checked()) << "the status stays the asleep one";
}

TEST_F(PresenceE2eTest, TheSettingsDialogAndTheShutDownQuestion) {
  StartAndLogIn();
  Choose(*main().N24);
  mirabo::TOnlStat& d = onlstat();
  ASSERT_TRUE(d.visible());
  GtkWidget* win = GtkRenderer::WidgetOf(d);
  ASSERT_TRUE(WaitFor([&] { return win && gtk_widget_get_mapped(win); }));
  // The list is the model's: a row picked in the widget selects the item.
  GtkWidget* list = GtkRenderer::WidgetOf(*d.StatusList);
  ASSERT_NE(list, nullptr);
  GtkListBoxRow* row = gtk_list_box_get_row_at_index(GTK_LIST_BOX(list), 4);
  ASSERT_NE(row, nullptr);
  gtk_list_box_select_row(GTK_LIST_BOX(list), row);
  EXPECT_EQ(d.StatusList->item_index(), 4);
  EXPECT_EQ(d.EditStatus->text(), Sj("恐らく寝てます(ﾟДﾟ;≡;ﾟдﾟ)"));
  EXPECT_TRUE(d.Memo2->visible());
  d.EditTime0->SetText("23");
  d.EditTime0->OnExit();
  d.EditTime2->SetText("6");
  d.EditTime2->OnExit();
  EXPECT_TRUE(d.cbAutoShutdown->enabled());
  Shot(d, "online-status.png");
  d.Close();
  EXPECT_NE(text::ReadAll("OnlStatus.txt")->find("\r\n5,23,0,6,0,15,30,1\r\n"), std::string::npos);

  // "Windowsを終了する": No asks nothing of the system, Yes asks it to switch off (the power
  // service here only records the request).
  const std::vector<std::string> question = {"Windowsを終了して電源を切りますか？"};
  {
    BoxAnswerer no(real_->dialogs(), GTK_RESPONSE_NO);
    Choose(*main().Windows1);
    EXPECT_EQ(no.texts, question);
    EXPECT_EQ(no.titles, std::vector<std::string>{"Windows終了の確認"});
    EXPECT_EQ(real_->recording_power()->power_offs, 0);
  }
  {
    BoxAnswerer yes(real_->dialogs(), GTK_RESPONSE_YES);
    ChooseFromPopup(*main().Windows2);
    EXPECT_EQ(yes.texts, question);
    EXPECT_EQ(real_->recording_power()->power_offs, 1);
  }
}

}  // namespace
