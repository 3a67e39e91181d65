// Quillet, the template editor, on the fake platform: the start with its page argument and its
// single-instance marker, paging, the limits, the modified flag, saving and closing.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "template-editor/EditorDialog.h"
#include "template-editor/program.h"
#include "tests/fake/fake_platform.h"
#include "tests/unit/working_folder.h"
#include "text/files.h"
#include "text/sjis.h"
#include "text/teikei.h"

namespace {

using namespace text::literals;
using quillet::EditorDialog;
using quillet::Program;

std::string Record(const std::string& title, const std::string& body) {
  return title + "\n" + std::to_string(body.size()) + "\n" + body + "\n";
}

std::string Repeat(const std::string& s, int n) {
  std::string out;
  for (int i = 0; i < n; ++i) out += s;
  return out;
}

class QuilletTest : public ::testing::Test {
 protected:
  // Starts a copy of Quillet with the command line's text after the program's name.
  Program& Start(const std::string& parameters = "") {
    program = std::make_unique<Program>(fp.get(), parameters);
    program->Run();
    return *program;
  }
  EditorDialog& dialog() { return *program->Editor; }
  struct Box {
    std::string text, caption;
    bool operator==(const Box&) const = default;
  };
  // The message boxes shown so far, as UTF-8.
  std::vector<Box> Boxes() {
    std::vector<Box> out;
    for (auto& m : fp.dialogs.messages())
      out.push_back({text::ToUtf8(m.text), text::ToUtf8(m.caption)});
    return out;
  }
  // Types into a field as the user does (the change events run).
  void Type(ui::Edit* field, const std::string& utf8) { field->SetText(text::ToSjis(utf8)); }
  std::optional<std::string> File() { return text::ReadAll(text::kTeikeiFile); }
  bool Marker() { return text::Exists(text::kTeikeiMarker); }
  std::string Heading() { return text::ToUtf8(dialog().Heading->caption()); }
  void PressEscape() {
    ui::KeyMessage key;
    key.key = ui::key::Escape;
    key.form = &dialog();
    program->app.DispatchKey(key);
  }

  testing_support::WorkingFolder folder;
  fake::Platform fp;
  std::unique_ptr<Program> program;
};

// ---------------------------------------------------------------------------------------------
// The start

TEST(QuilletPageTest, CommandLineGivesTheFirstPage) {
  struct Case {
    const char* parameters;
    int page;
  };
  const Case kCases[] = {
      {"0", 0},
      {"4", 4},
      {"5", 5},
      {"-1", 5},
      {"9", 0},
      {"6", 0},
      {"", 0},
      {"abc", 0},
      {" 3", 3},
      {"2x", 2},
      {"+1", 1},
      {"-0", 0},
      {"03", 3},
      {"- 1", 0},
      {"99999999999999", 0},
      {"-99999999999999", 5},
      {"\t1 2", 1},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.parameters);
    EXPECT_EQ(quillet::PageFromParameters(c.parameters), c.page);
  }
}

TEST_F(QuilletTest, OpensOnTheGivenPageWithItsTexts) {
  ASSERT_TRUE(text::WriteAtomic(
      text::kTeikeiFile, Record("A", "a") + Record("B", "b") + Record("C", "c") + Record("D", "d") +
                             Record("挨拶"_sj, "こんにちは\nまた"_sj) + Record("F", "f")));
  Start("4");
  ASSERT_TRUE(program->editing());
  EXPECT_TRUE(dialog().visible());
  EXPECT_EQ(dialog().page(), 4);
  EXPECT_EQ(Heading(), "F11キーで挿入する定型文の編集");
  EXPECT_EQ(text::ToUtf8(dialog().TitleEdit->text()), "挨拶");
  EXPECT_EQ(text::ToUtf8(dialog().BodyEdit->text()), "こんにちは\r\nまた");
  EXPECT_FALSE(dialog().modified());
  EXPECT_TRUE(Boxes().empty());
}

TEST_F(QuilletTest, WithoutAFileShowsTheEditorsDefaults) {
  Start();
  EXPECT_EQ(Heading(), "F1キーで挿入する定型文の編集");
  EXPECT_EQ(text::ToUtf8(dialog().TitleEdit->text()), "日付");
  EXPECT_EQ(text::ToUtf8(dialog().BodyEdit->text()), "&year年&mon月&day日です。");
  EXPECT_FALSE(text::Exists(text::kTeikeiFile));
}

TEST_F(QuilletTest, DialogHasItsControlsAndTexts) {
  Start();
  EditorDialog& d = dialog();
  EXPECT_EQ(text::ToUtf8(d.caption()), "定型文エディター for Mirabo Version 1.1");
  EXPECT_EQ(text::ToUtf8(d.font().name), "ＭＳ Ｐゴシック");
  EXPECT_EQ(d.Heading->alignment(), ui::TextAlign::Center);
  EXPECT_EQ(text::ToUtf8(d.TitleLabel->caption()), "タイトル");
  EXPECT_EQ(text::ToUtf8(d.PrevPage->caption()), "前のページ");
  EXPECT_EQ(text::ToUtf8(d.NextPage->caption()), "次のページ");
  EXPECT_EQ(text::ToUtf8(d.TabNote->caption()), "※タブ入力は CTRL+I");
  EXPECT_EQ(text::ToUtf8(d.SaveButton->caption()), "ファイルに保存");
  EXPECT_TRUE(d.SaveButton->is_default());
  EXPECT_EQ(d.TitleEdit->max_length(), 8);
  // Laid out in the dialog's units: the body spans the width under the title row, the save
  // button sits under the body at the right.
  EXPECT_LT(d.TitleEdit->bounds().bottom(), d.BodyEdit->top());
  EXPECT_LT(d.BodyEdit->bounds().bottom(), d.SaveButton->top());
  EXPECT_NEAR(d.BodyEdit->bounds().right(), d.SaveButton->bounds().right(), 1);
  EXPECT_LE(d.SaveButton->bounds().bottom(), d.client_height());
}

TEST_F(QuilletTest, DamagedFileKeepsWhatWasReadAndSaysSo) {
  ASSERT_TRUE(text::WriteAtomic(text::kTeikeiFile, Record("A", "a") + Record("B", "b") + "C\nx\n"));
  Start("1");
  ASSERT_TRUE(program->editing());
  ASSERT_EQ(Boxes().size(), 1u);
  EXPECT_EQ(Boxes()[0].text, text::ToUtf8(text::TeikeiDamagedMessage()));
  EXPECT_EQ(Boxes()[0].caption, "確認");
  EXPECT_EQ(dialog().TitleEdit->text(), "B");
  EXPECT_EQ(dialog().entries()[2], text::EditorDefaultTeikei()[2]);
}

// ---------------------------------------------------------------------------------------------
// The single-instance marker

TEST_F(QuilletTest, SecondCopyRefusesToStartAndLeavesTheFirstAlone) {
  Start("2");
  Type(dialog().BodyEdit, "書きかけ");
  EXPECT_EQ(fp.single_instance.held, std::set<std::string>{"QUILLET FOR MIRABO"});

  Program second(fp.get(), "4");
  second.Run();  // returns at once
  EXPECT_FALSE(second.editing());
  ASSERT_EQ(Boxes().size(), 1u);
  EXPECT_EQ(Boxes()[0], (Box{"定型文エディタ for Mirabo は複数起動させることはできません。",
                             "二重起動の禁止"}));

  EXPECT_TRUE(dialog().visible());
  EXPECT_EQ(dialog().page(), 2);
  EXPECT_EQ(text::ToUtf8(dialog().BodyEdit->text()), "書きかけ");
  EXPECT_TRUE(dialog().modified());
  EXPECT_FALSE(program->app.terminated());
  EXPECT_FALSE(text::Exists(text::kTeikeiFile));
}

TEST_F(QuilletTest, MarkerIsFreedWhenTheCopyEnds) {
  Start();
  PressEscape();
  program.reset();
  EXPECT_TRUE(fp.single_instance.held.empty());
  Start();
  EXPECT_TRUE(program->editing());
  EXPECT_TRUE(Boxes().empty());
}

TEST_F(QuilletTest, NoMarkerAtAllEndsSilently) {
  fp.single_instance.fail = true;
  Start();
  EXPECT_FALSE(program->editing());
  EXPECT_TRUE(Boxes().empty());
}

// ---------------------------------------------------------------------------------------------
// Paging

TEST_F(QuilletTest, PagingWrapsAround) {
  const char* const kHeadings[6] = {
      "F1キーで挿入する定型文の編集",  "F2キーで挿入する定型文の編集",
      "F3キーで挿入する定型文の編集",  "F4キーで挿入する定型文の編集",
      "F11キーで挿入する定型文の編集", "F12キーで挿入する定型文の編集"};
  Start("5");
  dialog().NextPage->Click();
  EXPECT_EQ(dialog().page(), 0);
  EXPECT_EQ(Heading(), kHeadings[0]);
  dialog().PrevPage->Click();
  EXPECT_EQ(dialog().page(), 5);
  EXPECT_EQ(Heading(), kHeadings[5]);
  for (int page : {0, 1, 2, 3, 4, 5, 0}) {
    dialog().NextPage->Click();
    EXPECT_EQ(dialog().page(), page);
    EXPECT_EQ(Heading(), kHeadings[page]);
    EXPECT_EQ(dialog().TitleEdit->text(), text::EditorDefaultTeikei()[page].title);
  }
  EXPECT_FALSE(dialog().modified()) << "showing a page is no edit";
}

TEST_F(QuilletTest, EditsStayOnTheirPageAndAreAllSaved) {
  Start();
  Type(dialog().TitleEdit, "日にち");
  Type(dialog().BodyEdit, "きょうは\r\n&day日");
  for (int i = 0; i < 3; ++i) dialog().NextPage->Click();
  EXPECT_EQ(dialog().page(), 3);
  Type(dialog().BodyEdit, "よん");
  for (int i = 0; i < 3; ++i) dialog().PrevPage->Click();
  EXPECT_EQ(text::ToUtf8(dialog().TitleEdit->text()), "日にち");
  EXPECT_EQ(text::ToUtf8(dialog().BodyEdit->text()), "きょうは\r\n&day日");
  EXPECT_TRUE(dialog().modified());

  ASSERT_TRUE(dialog().SaveButtonClick());
  text::TeikeiLoad saved = text::LoadTeikeiForBrowser();
  EXPECT_EQ(saved.entries[0], (text::TeikeiEntry{"日にち"_sj, "きょうは\n&day日"_sj}));
  EXPECT_EQ(saved.entries[3].body, "よん"_sj);
  EXPECT_FALSE(saved.damaged);
}

// ---------------------------------------------------------------------------------------------
// Limits

TEST_F(QuilletTest, TitleTakesEightBytes) {
  Start();
  Type(dialog().TitleEdit, "あいうえお");
  EXPECT_EQ(text::ToUtf8(dialog().TitleEdit->text()), "あいうえ");
  Type(dialog().TitleEdit, "abcdefghij");
  EXPECT_EQ(dialog().TitleEdit->text(), "abcdefgh");
}

TEST_F(QuilletTest, BodyLimitCountsBytesOfTheCrLfForm) {
  struct Case {
    const char* name;
    std::string body;  // Shift-JIS, CR LF form
    bool saves;
  };
  const std::string zen = "あ"_sj;
  const Case kCases[] = {
      {"500 full-width characters", Repeat(zen, 500), true},
      {"501 full-width characters", Repeat(zen, 501), false},
      {"1000 bytes with line breaks", Repeat(zen + "\r\n", 250), true},
      {"1001 bytes with line breaks, 751 in the file", Repeat(zen + "\r\n", 250) + "x", false},
      {"1000 half-width characters", std::string(1000, 'x'), true},
      {"1001 half-width characters", std::string(1001, 'x'), false},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    testing_support::WorkingFolder own;  // each case in a fresh folder
    fp.dialogs.shown.clear();
    program.reset();
    Start("1");
    dialog().BodyEdit->SetText(c.body);
    EXPECT_EQ(dialog().SaveButtonClick(), c.saves);
    EXPECT_EQ(text::Exists(text::kTeikeiFile), c.saves);
    EXPECT_EQ(Marker(), c.saves);
    EXPECT_EQ(dialog().modified(), !c.saves);
    ASSERT_EQ(Boxes().size(), 1u);
    if (c.saves) {
      EXPECT_EQ(Boxes()[0], (Box{"保存しました。", "報告"}));
      std::string stored = text::LoadTeikeiForBrowser().entries[1].body;
      EXPECT_EQ(text::ToUtf8(stored), text::ToUtf8(text::TeikeiBodyFromCrLf(c.body)));
    } else {
      EXPECT_EQ(Boxes()[0], (Box{"F2の本文が1000字をこえています。", "保存できません。"}));
    }
  }
  program.reset();
}

TEST_F(QuilletTest, TooLongMessageNamesTheFirstSuchPagesKey) {
  Start("2");
  dialog().BodyEdit->SetText(std::string(1001, 'x'));  // page 2, F3
  dialog().NextPage->Click();
  dialog().NextPage->Click();
  dialog().BodyEdit->SetText(std::string(1001, 'y'));  // page 4, F11
  EXPECT_FALSE(dialog().SaveButtonClick());
  ASSERT_EQ(Boxes().size(), 1u);
  EXPECT_EQ(Boxes()[0].text, "F3の本文が1000字をこえています。");
  dialog().PrevPage->Click();
  dialog().PrevPage->Click();
  dialog().BodyEdit->SetText("ok");
  EXPECT_FALSE(dialog().SaveButtonClick());
  EXPECT_EQ(Boxes().back().text, "F11の本文が1000字をこえています。");
  EXPECT_FALSE(text::Exists(text::kTeikeiFile));
}

// ---------------------------------------------------------------------------------------------
// Saving

TEST_F(QuilletTest, SaveWritesTheFileThenTheMarkerAndClearsTheFlag) {
  Start();
  Type(dialog().TitleEdit, "今日");
  ASSERT_TRUE(dialog().modified());
  EXPECT_TRUE(dialog().PressDefault()) << "Enter in the title field presses the save button";
  EXPECT_FALSE(dialog().modified());
  EXPECT_EQ(Boxes(), (std::vector<Box>{{"保存しました。", "報告"}}));
  text::TeikeiEntries expected = text::EditorDefaultTeikei();
  expected[0].title = "今日"_sj;
  EXPECT_EQ(File(), text::FormatTeikei(expected));
  EXPECT_EQ(text::ReadAll(text::kTeikeiMarker), "new");
}

TEST_F(QuilletTest, UnwritableFileIsReportedAndNothingIsWritten) {
  std::filesystem::create_directory(text::kTeikeiFile);  // in the way of any file of that name
  Start();
  Type(dialog().BodyEdit, "変更");
  EXPECT_FALSE(dialog().SaveButtonClick());
  EXPECT_TRUE(dialog().modified());
  EXPECT_FALSE(Marker());
  ASSERT_EQ(Boxes().size(), 1u);
  EXPECT_EQ(Boxes()[0].caption, "報告");
  EXPECT_EQ(Boxes()[0].text,
            "定型文ファイル（Teikei.dat）に書き込めないため、保存できませんでした。");
  EXPECT_EQ(folder.Names(), std::vector<std::string>{text::kTeikeiFile});
}

// ---------------------------------------------------------------------------------------------
// Closing

TEST_F(QuilletTest, ClosingWithoutAnEditAsksNothing) {
  Start();
  dialog().NextPage->Click();
  dialog().Close();
  EXPECT_TRUE(Boxes().empty());
  EXPECT_TRUE(program->app.terminated());
  EXPECT_FALSE(dialog().visible());
  EXPECT_FALSE(text::Exists(text::kTeikeiFile));
}

TEST_F(QuilletTest, ClosingAfterAnEditAsks) {
  struct Case {
    const char* name;
    platform::Answer answer;
    std::string body;  // UTF-8
    std::vector<Box> boxes_after_question;
    bool written;
  };
  const Box question{"更新された内容を保存してから終了しますか？", "確認"};
  const Case kCases[] = {
      {"no: nothing is saved", platform::Answer::No, "変更", {}, false},
      {"yes: saved", platform::Answer::Yes, "変更", {{"保存しました。", "報告"}}, true},
      {"yes with a body too long: closed anyway",
       platform::Answer::Yes,
       Repeat("あ", 501),
       {{"F1の本文が1000字をこえています。", "保存できません。"}},
       false},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    testing_support::WorkingFolder own;
    fp.dialogs.shown.clear();
    program.reset();
    Start();
    Type(dialog().BodyEdit, c.body);
    fp.dialogs.answers = {c.answer};
    dialog().Close();
    std::vector<Box> expected{question};
    expected.insert(expected.end(), c.boxes_after_question.begin(), c.boxes_after_question.end());
    EXPECT_EQ(Boxes(), expected);
    EXPECT_TRUE(program->app.terminated());
    EXPECT_EQ(text::Exists(text::kTeikeiFile), c.written);
    EXPECT_EQ(Marker(), c.written);
  }
  program.reset();
}

TEST_F(QuilletTest, AFlagClearedBySavingAsksNothingAtClose) {
  Start();
  Type(dialog().BodyEdit, "変更");
  ASSERT_TRUE(dialog().SaveButtonClick());
  dialog().Close();
  EXPECT_EQ(Boxes().size(), 1u) << "only the report of the save";
  EXPECT_TRUE(program->app.terminated());
}

TEST_F(QuilletTest, EscapeClosesAtOnceWithoutTheQuestion) {
  Start();
  Type(dialog().BodyEdit, "変更");
  PressEscape();
  EXPECT_TRUE(Boxes().empty());
  EXPECT_TRUE(program->app.terminated());
  EXPECT_FALSE(dialog().visible());
  EXPECT_FALSE(text::Exists(text::kTeikeiFile));
}

}  // namespace
