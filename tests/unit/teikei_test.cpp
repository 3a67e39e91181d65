// The template file Teikei.dat: its record rules as the browser and the editor read them, the
// defaults, the damaged-file cases, and the editor's atomic save with its change marker.
#include "text/teikei.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "tests/unit/working_folder.h"
#include "text/files.h"
#include "text/sjis.h"

namespace {

using namespace text::literals;
using namespace std::string_literals;
using text::TeikeiEntries;
using text::TeikeiEntry;

// One record as the file holds it, built here independently of the module's writer.
std::string Record(const std::string& title, const std::string& body) {
  return title + "\n" + std::to_string(body.size()) + "\n" + body + "\n";
}

std::string CrLf(const std::string& lf) {
  std::string out;
  for (char c : lf) {
    if (c == '\n') out += '\r';
    out += c;
  }
  return out;
}

// Six plain records: titles A..F, bodies a..f.
std::vector<TeikeiEntry> Plain() {
  return {{"A", "a"}, {"B", "b"}, {"C", "c"}, {"D", "d"}, {"E", "e"}, {"F", "f"}};
}

std::string FileOf(const std::vector<TeikeiEntry>& records) {
  std::string bytes;
  for (auto& r : records) bytes += Record(r.title, r.body);
  return bytes;
}

// The entries a load should give: the records read whole, then the defaults.
TeikeiEntries Expected(const std::vector<TeikeiEntry>& read, const TeikeiEntries& defaults,
                       bool crlf_bodies) {
  TeikeiEntries e = defaults;
  for (std::size_t i = 0; i < read.size(); ++i) {
    e[i] = read[i];
    if (crlf_bodies) e[i].body = CrLf(e[i].body);
  }
  return e;
}

class TeikeiFileTest : public ::testing::Test {
 protected:
  void Write(const std::string& bytes) { ASSERT_TRUE(text::WriteAtomic(text::kTeikeiFile, bytes)); }
  std::optional<std::string> File() { return text::ReadAll(text::kTeikeiFile); }
  testing_support::WorkingFolder folder;
};

// ---------------------------------------------------------------------------------------------
// Both loaders, one table. `read` lists the records the browser reads whole (the rest get its
// defaults); `editor_read` the editor's, when they differ.

struct LoadCase {
  const char* name;
  std::string file;
  std::vector<TeikeiEntry> read;
  bool damaged;
  std::optional<std::vector<TeikeiEntry>> editor_read = std::nullopt;
  std::optional<bool> editor_damaged = std::nullopt;
};

std::vector<LoadCase> LoadCases() {
  std::vector<LoadCase> cases;
  auto plain = Plain();
  cases.push_back({"six plain records", FileOf(plain), plain, false});

  auto empty_body = plain;
  empty_body[2].body = "";
  cases.push_back({"an empty body", FileOf(empty_body), empty_body, false});

  auto breaks = plain;
  breaks[1].body = "一\n二\n三\n四"_sj;
  cases.push_back({"a body with three line breaks", FileOf(breaks), breaks, false});

  auto spaced = plain;
  spaced[0].title = "朝 の"_sj;
  spaced[5].title = " X ";
  cases.push_back({"spaces in titles", FileOf(spaced), spaced, false});

  auto last_cut = plain;
  last_cut[5].body = "abc";
  cases.push_back({"the sixth body cut by the end of the file",
                   FileOf(std::vector<TeikeiEntry>(plain.begin(), plain.end() - 1)) + "F\n10\nabc",
                   last_cut, false});

  auto early_cut = std::vector<TeikeiEntry>(plain.begin(), plain.begin() + 3);
  early_cut[2].body = "abc";
  cases.push_back({"the third body cut by the end of the file",
                   Record("A", "a") + Record("B", "b") + "C\n50\nabc", early_cut, true});

  cases.push_back({"a longer old file behind the sixth record",
                   FileOf(plain) + "old\n3\nxyz\nmore of the old file", plain, false});

  auto short_length = plain;
  short_length[0].body = "ab";
  cases.push_back(
      {"a length shorter than its body: the rest of the line is passed over",
       "A\n2\nabcd\n" + FileOf(std::vector<TeikeiEntry>(plain.begin() + 1, plain.end())),
       short_length, false});

  {
    // The sixth body crosses the browser's 7168 bytes: it gets what lies before them.
    auto big = plain;
    big[5].body = std::string(8000, 'x');
    std::string file = FileOf(big);
    std::size_t body_start =
        FileOf(std::vector<TeikeiEntry>(plain.begin(), plain.end() - 1)).size() +
        std::string("F\n8000\n").size();
    auto cut = big;
    cut[5].body = std::string(text::kTeikeiReadLimit - body_start, 'x');
    cases.push_back({"the 7168-byte limit", file, cut, false, big, false});
  }
  {
    // The browser cannot see past 7168 bytes: a sixth record after them is not there for it.
    auto padded = plain;
    padded[4].body = std::string(7200, 'y');
    auto seen = std::vector<TeikeiEntry>(padded.begin(), padded.begin() + 5);
    std::size_t body_start =
        FileOf(std::vector<TeikeiEntry>(plain.begin(), plain.begin() + 4)).size() +
        std::string("E\n7200\n").size();
    seen[4].body = std::string(text::kTeikeiReadLimit - body_start, 'y');
    cases.push_back(
        {"a sixth record beyond 7168 bytes", FileOf(padded), seen, true, padded, false});
  }
  {
    auto nul = plain;
    nul[1].body = "ab\0cd"s;
    auto seen = std::vector<TeikeiEntry>(plain.begin(), plain.begin() + 2);
    seen[1].body = "ab";
    cases.push_back({"a NUL byte ends the browser's text", FileOf(nul), seen, true, nul, false});
  }

  auto two = std::vector<TeikeiEntry>(plain.begin(), plain.begin() + 2);
  cases.push_back({"a length line that is not a number",
                   Record("A", "a") + Record("B", "b") + "C\nx5\nccccc\n" +
                       FileOf(std::vector<TeikeiEntry>(plain.begin() + 3, plain.end())),
                   two, true});
  cases.push_back(
      {"a negative length", Record("A", "a") + Record("B", "b") + "C\n-1\n\n", two, true});
  cases.push_back(
      {"a length with a sign", Record("A", "a") + Record("B", "b") + "C\n+1\nc\n", two, true});
  cases.push_back(
      {"an empty length line", Record("A", "a") + Record("B", "b") + "C\n\nc\n", two, true});
  cases.push_back({"a length beyond any int",
                   Record("A", "a") + Record("B", "b") + "C\n99999999999\nc\n", two, true});
  cases.push_back({"CR LF line ends written by another tool",
                   "日付\r\n25\r\n&year年&mon月&day日です。\r\n"_sj,
                   {},
                   true});
  cases.push_back({"too few records",
                   FileOf(std::vector<TeikeiEntry>(plain.begin(), plain.begin() + 3)),
                   std::vector<TeikeiEntry>(plain.begin(), plain.begin() + 3), true});
  cases.push_back({"a title without its line break at the end",
                   FileOf(std::vector<TeikeiEntry>(plain.begin(), plain.begin() + 2)) + "C", two,
                   true});
  cases.push_back({"an empty file", "", {}, true});
  return cases;
}

TEST_F(TeikeiFileTest, LoadersReadTheRecordsByTheirRules) {
  for (const LoadCase& c : LoadCases()) {
    SCOPED_TRACE(c.name);
    Write(c.file);

    text::TeikeiLoad browser = text::LoadTeikeiForBrowser();
    EXPECT_EQ(browser.entries, Expected(c.read, text::BrowserDefaultTeikei(), false));
    EXPECT_EQ(browser.damaged, c.damaged);

    text::TeikeiLoad editor = text::LoadTeikeiForEditor();
    EXPECT_EQ(editor.entries,
              Expected(c.editor_read.value_or(c.read), text::EditorDefaultTeikei(), true));
    EXPECT_EQ(editor.damaged, c.editor_damaged.value_or(c.damaged));
  }
}

TEST_F(TeikeiFileTest, EditorShowsLineBreaksAsCrLf) {
  auto records = Plain();
  records[0].body = "一\n二\n三\n四"_sj;
  Write(FileOf(records));
  text::TeikeiLoad editor = text::LoadTeikeiForEditor();
  // 11 bytes with three line breaks in the file: 14 in the body field.
  EXPECT_EQ(editor.entries[0].body, "一\r\n二\r\n三\r\n四"_sj);
  EXPECT_EQ(editor.entries[0].body.size(), 14u);
}

// ---------------------------------------------------------------------------------------------
// Defaults

TEST_F(TeikeiFileTest, MissingFileGivesEachProgramItsDefaults) {
  text::TeikeiLoad browser = text::LoadTeikeiForBrowser();
  text::TeikeiLoad editor = text::LoadTeikeiForEditor();
  EXPECT_FALSE(browser.damaged);
  EXPECT_FALSE(editor.damaged);
  const char* const kTitles[6] = {"日付", "時刻", "サンプル", "---", "---", "---"};
  const char* const kBodies[6] = {"&year年&mon月&day日",
                                  "（&hour時&min分&sec秒）",
                                  "こんにちは、もう&hour時ですね。（´ｖ｀）♪",
                                  "---",
                                  "---",
                                  "---"};
  for (int i = 0; i < 6; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(text::ToUtf8(browser.entries[i].title), kTitles[i]);
    EXPECT_EQ(text::ToUtf8(browser.entries[i].body), kBodies[i]);
    EXPECT_EQ(editor.entries[i].title, browser.entries[i].title);
    if (i > 0) {
      EXPECT_EQ(editor.entries[i].body, browser.entries[i].body);
    }
  }
  EXPECT_EQ(text::ToUtf8(editor.entries[0].body), "&year年&mon月&day日です。");
  EXPECT_FALSE(text::Exists(text::kTeikeiFile)) << "loading never creates the file";
}

TEST_F(TeikeiFileTest, UnreadableFileGivesTheDefaultsWithoutDamage) {
  std::filesystem::create_directory(text::kTeikeiFile);
  text::TeikeiLoad browser = text::LoadTeikeiForBrowser();
  text::TeikeiLoad editor = text::LoadTeikeiForEditor();
  EXPECT_EQ(browser.entries, text::BrowserDefaultTeikei());
  EXPECT_EQ(editor.entries, text::EditorDefaultTeikei());
  EXPECT_FALSE(browser.damaged);
  EXPECT_FALSE(editor.damaged);
}

TEST(TeikeiKeyNameTest, IndexesNameTheirKeys) {
  const char* const kNames[6] = {"F1", "F2", "F3", "F4", "F11", "F12"};
  for (int i = 0; i < 6; ++i) EXPECT_EQ(text::TeikeiKeyName(i), kNames[i]);
  EXPECT_EQ(text::TeikeiKeyName(-1), "");
  EXPECT_EQ(text::TeikeiKeyName(6), "");
}

// ---------------------------------------------------------------------------------------------
// The editor's save

TEST_F(TeikeiFileTest, RecordsAreTitleLengthAndBody) {
  TeikeiEntries e = text::EditorDefaultTeikei();
  e[1] = {"空"_sj, ""};
  ASSERT_TRUE(text::SaveTeikeiFromEditor(e));
  std::string expected =
      "日付\n25\n&year年&mon月&day日です。\n"_sj + "空\n0\n\n"_sj + "サンプル\n"_sj + "43\n" +
      "こんにちは、もう&hour時ですね。（´ｖ｀）♪\n"_sj + "---\n3\n---\n---\n3\n---\n---\n3\n---\n";
  EXPECT_EQ(File(), expected);
  EXPECT_EQ(text::FormatTeikei(e), expected);
}

TEST_F(TeikeiFileTest, SaveStoresLineBreaksAsOneLfAndCountsThem) {
  TeikeiEntries e = text::EditorDefaultTeikei();
  e[3].body = "一\r\n二\r\n三\r\n四"_sj;  // 14 bytes in the field, 11 in the file
  ASSERT_TRUE(text::SaveTeikeiFromEditor(e));
  std::string file = *File();
  EXPECT_NE(file.find("---\n11\n"_sj + "一\n二\n三\n四\n"_sj), std::string::npos);
  EXPECT_EQ(file.find('\r'), std::string::npos);
}

TEST_F(TeikeiFileTest, EditorWritesBackWhatItLoadedByteForByte) {
  auto records = Plain();
  records[0].body = "一\n二\n三\n四"_sj;
  records[1].body = "";
  records[2].title = "朝 の"_sj;
  records[3].body = "tab\there";
  std::string original = FileOf(records);
  Write(original);
  ASSERT_TRUE(text::SaveTeikeiFromEditor(text::LoadTeikeiForEditor().entries));
  EXPECT_EQ(File(), original);
}

TEST_F(TeikeiFileTest, SaveOverALongerFileLeavesExactlySixRecords) {
  auto longer = Plain();
  for (auto& r : longer) r.body = std::string(500, 'z');
  Write(FileOf(longer) + "old tail");
  ASSERT_TRUE(text::SaveTeikeiFromEditor(Expected(Plain(), {}, true)));
  EXPECT_EQ(File(), FileOf(Plain()));
  EXPECT_EQ(text::LoadTeikeiForBrowser().entries, Expected(Plain(), {}, false));
}

TEST_F(TeikeiFileTest, AfterTheEditorSavedBothProgramsReadItsTexts) {
  EXPECT_NE(text::LoadTeikeiForBrowser().entries[0].body, text::EditorDefaultTeikei()[0].body);
  ASSERT_TRUE(text::SaveTeikeiFromEditor(text::LoadTeikeiForEditor().entries));
  EXPECT_EQ(text::LoadTeikeiForBrowser().entries, text::EditorDefaultTeikei());
  EXPECT_EQ(text::ReadAll(text::kTeikeiMarker), "new");
}

// The file is only ever renamed into place, whole, and the marker appears after that.
TEST_F(TeikeiFileTest, MarkerAppearsOnlyAfterTheFileIsComplete) {
  Write(FileOf(Plain()));
  int fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  ASSERT_GE(fd, 0);
  ASSERT_GE(
      inotify_add_watch(fd, folder.path().c_str(),
                        IN_CREATE | IN_MODIFY | IN_OPEN | IN_CLOSE_WRITE | IN_MOVED_TO | IN_DELETE),
      0);
  TeikeiEntries e = text::EditorDefaultTeikei();
  ASSERT_TRUE(text::SaveTeikeiFromEditor(e));

  std::vector<std::pair<std::uint32_t, std::string>> events;
  alignas(inotify_event) char buffer[8192];
  for (;;) {
    ssize_t n = read(fd, buffer, sizeof buffer);
    if (n <= 0) break;
    for (char* p = buffer; p < buffer + n;) {
      auto* ev = reinterpret_cast<inotify_event*>(p);
      events.push_back({ev->mask, ev->len ? ev->name : ""});
      p += sizeof(inotify_event) + ev->len;
    }
  }
  close(fd);

  int file_in_place = -1, first_marker = -1;
  for (int i = 0; i < static_cast<int>(events.size()); ++i) {
    auto& [mask, name] = events[i];
    if (name == text::kTeikeiFile) {
      EXPECT_EQ(mask, static_cast<std::uint32_t>(IN_MOVED_TO))
          << "Teikei.dat itself is never opened, written or removed";
      if (mask == IN_MOVED_TO && file_in_place < 0) file_in_place = i;
    }
    if (name.find("new.tmp") != std::string::npos && first_marker < 0) first_marker = i;
  }
  ASSERT_GE(file_in_place, 0);
  ASSERT_GE(first_marker, 0);
  EXPECT_LT(file_in_place, first_marker);
  EXPECT_EQ(File(), text::FormatTeikei(e));
  EXPECT_EQ(text::ReadAll(text::kTeikeiMarker), "new");
}

TEST_F(TeikeiFileTest, UnwritableFileWritesNothingAndMakesNoMarker) {
  std::filesystem::create_directory(text::kTeikeiFile);  // cannot be replaced by a file
  EXPECT_FALSE(text::SaveTeikeiFromEditor(text::EditorDefaultTeikei()));
  EXPECT_EQ(folder.Names(), std::vector<std::string>{text::kTeikeiFile})
      << "no marker and no temporary file are left";
}

}  // namespace
