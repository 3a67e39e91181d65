// Shift-JIS conversion, byte-exact files and the Hosts.txt reader.
#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "text/files.h"
#include "text/hosts.h"
#include "text/sjis.h"

namespace {

using namespace text::literals;
using namespace std::string_literals;

std::string Bytes(std::initializer_list<unsigned> bytes) {
  std::string s;
  for (unsigned b : bytes) s.push_back(static_cast<char>(b));
  return s;
}

std::string Hex(std::string_view s) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : s) {
    if (!out.empty()) out.push_back(' ');
    out.push_back(kDigits[c >> 4]);
    out.push_back(kDigits[c & 15]);
  }
  return out;
}

// ---------------------------------------------------------------------------------------------
// Shift-JIS

TEST(SjisTest, ProgramTextsRoundTrip) {
  const char* const kTexts[] = {
      "ホブネスト",
      "マイホーム",
      "閉じてください",
      "ﾎﾌﾞﾈｽﾄ",
      "（21時5分7秒）",
      "～",
      "－",
      "ソ",
      "表",
      "ロック",
      "確認::FindBlankWB",
      "メモリ確保エラー::DoLoadConfigExecute",
      "用メモリの確保に失敗しました。ソフトを終了させてください。",
      "Mirabo公式ガイドブック.hlp",
      "AddIn\\006Quillet\\Quillet.exe",
      "①Ⅰ㈱≒∵",  // NEC special characters
      "髙ⅰ￢",   // IBM extension characters
      "http://hp.hobnest.jp/@someone",
      "",
  };
  for (const char* utf8 : kTexts) {
    SCOPED_TRACE(utf8);
    std::string sjis = text::ToSjis(utf8);
    EXPECT_EQ(sjis.find('?'), std::string::npos) << Hex(sjis);
    EXPECT_EQ(text::ToUtf8(sjis), utf8);
    EXPECT_EQ(text::ToSjis(text::ToUtf8(sjis)), sjis);
  }
}

TEST(SjisTest, ExactBytes) {
  struct Case {
    const char* utf8;
    std::string sjis;
  };
  const Case kCases[] = {
      {"ロック", Bytes({0x83, 0x8D, 0x83, 0x62, 0x83, 0x4E})},
      {"ソ", Bytes({0x83, 0x5C})},
      {"表", Bytes({0x95, 0x5C})},
      {"～", Bytes({0x81, 0x60})},
      {"－", Bytes({0x81, 0x7C})},
      {"確認", Bytes({0x8A, 0x6D, 0x94, 0x46})},
      {"ﾎﾌﾞ", Bytes({0xCE, 0xCC, 0xDE})},
      {"｡ﾟ", Bytes({0xA1, 0xDF})},
      {"①", Bytes({0x87, 0x40})},
      {"髙", Bytes({0xFB, 0xFC})},
      {"\\~", Bytes({0x5C, 0x7E})},
      {"ソ\\", Bytes({0x83, 0x5C, 0x5C})},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.utf8);
    EXPECT_EQ(Hex(text::ToSjis(c.utf8)), Hex(c.sjis));
    EXPECT_EQ(text::ToUtf8(c.sjis), c.utf8);
  }
}

TEST(SjisTest, LiteralGivesShiftJisBytes) {
  EXPECT_EQ(Hex("ロック"_sj), "83 8D 83 62 83 4E");
  EXPECT_EQ("確認::"_sj, text::ToSjis("確認::"));
  EXPECT_EQ("plain"_sj, "plain");
}

TEST(SjisTest, NecSelectedIbmRowsReadAsIbmRows) {
  // 0xED40 (NEC-selected IBM extension) reads as the character that Windows writes as 0xFA5C.
  EXPECT_EQ(text::ToUtf8(Bytes({0xED, 0x40})), "纊");
  EXPECT_EQ(Hex(text::ToSjis("纊")), "FA 5C");
}

TEST(SjisTest, CharacterWithoutShiftJisFormBecomesOneQuestionMark) {
  struct Case {
    const char* utf8;
    const char* sjis;
  };
  const Case kCases[] = {
      {"😀", "?"},     {"€", "?"}, {"a😀b", "a?b"}, {"😀😀", "??"},
      {"한국", "??"}, {"é", "?"}, {"A€Z", "A?Z"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.utf8);
    EXPECT_EQ(text::ToSjis(c.utf8), c.sjis);
  }
  EXPECT_EQ(text::ToSjis("ホ😀ブ"), "ホ"_sj + "?" + "ブ"_sj);
}

TEST(SjisTest, InvalidUtf8BecomesQuestionMarks) {
  struct Case {
    std::string utf8;
    std::string sjis;
  };
  const Case kCases[] = {
      {"\xFF", "?"},
      {"a\xE3\x81", "a?"},  // cut short at the end
      {"\xE3\x81"
       "A",
       "?A"},                   // cut short before an ASCII byte
      {"\xC0\xAF", "??"},       // overlong form
      {"\xED\xA0\x80", "???"},  // a surrogate
      {"\x80x", "?x"},          // a lone continuation byte
      {"\xE3\x83\x9B\xFF\xE3\x83\x96", "ホ"_sj + "?" + "ブ"_sj},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(Hex(c.utf8));
    EXPECT_EQ(Hex(text::ToSjis(c.utf8)), Hex(c.sjis));
  }
}

TEST(SjisTest, InvalidShiftJisBecomesQuestionMarks) {
  struct Case {
    std::string sjis;
    std::string utf8;
  };
  const Case kCases[] = {
      {Bytes({0x81}), "?"},         // lead byte at the end
      {Bytes({0x61, 0x82}), "a?"},  // lead byte at the end after text
      {Bytes({0x81, 0x20}), "? "},  // lead byte before a space: the space stays
      {Bytes({0x85, 0x40}), "?"},   // a well-formed code without a character
      {Bytes({0x80}), "?"},
      {Bytes({0xFD, 0xFE, 0xFF}), "???"},
      {Bytes({0x83, 0x8D, 0xFF, 0x83, 0x62}), "ロ?ッ"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(Hex(c.sjis));
    EXPECT_EQ(text::ToUtf8(c.sjis), c.utf8);
  }
}

TEST(SjisTest, NulBytesPassThrough) {
  const std::string utf8("a\0ホ\0", 6);
  const std::string sjis = std::string("a\0", 2) + "ホ"_sj + std::string("\0", 1);
  EXPECT_EQ(Hex(text::ToSjis(utf8)), Hex(sjis));
  EXPECT_EQ(Hex(text::ToUtf8(sjis)), Hex(utf8));
}

TEST(SjisTest, LongTextsConvertWhole) {
  // Longer than any internal buffer, with bad characters scattered through it.
  std::string utf8, sjis;
  for (int i = 0; i < 5000; ++i) {
    utf8 += i % 997 == 0 ? "😀" : "表ﾎa";
    sjis += i % 997 == 0 ? "?" : "表ﾎa"_sj;
  }
  EXPECT_EQ(text::ToSjis(utf8), sjis);
  std::string back;
  for (int i = 0; i < 5000; ++i) back += i % 997 == 0 ? "?" : "表ﾎa";
  EXPECT_EQ(text::ToUtf8(sjis), back);
}

TEST(SjisTest, ThreadsConvertIndependently) {
  std::vector<std::thread> threads;
  std::vector<int> failures(4, 0);
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([t, &failures] {
      const std::string utf8 = t % 2 ? "閉じてください" : "ﾎﾌﾞﾈｽﾄ😀";
      const std::string expected = t % 2 ? "閉じてください"_sj : "ﾎﾌﾞﾈｽﾄ"_sj + "?";
      for (int i = 0; i < 2000; ++i) {
        if (text::ToSjis(utf8) != expected) ++failures[t];
        if (text::ToUtf8(expected).empty()) ++failures[t];
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(failures, std::vector<int>(4, 0));
}

// ---------------------------------------------------------------------------------------------
// Files and Hosts.txt, each test in a fresh working folder.

class TextFilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char* cwd = ::getcwd(nullptr, 0);
    ASSERT_NE(cwd, nullptr);
    old_cwd_ = cwd;
    std::free(cwd);
    char pattern[] = "/tmp/mirabo-text-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    dir_ = pattern;
    ASSERT_EQ(::chdir(dir_.c_str()), 0);
    old_umask_ = ::umask(022);
  }

  void TearDown() override {
    ::umask(old_umask_);
    if (!old_cwd_.empty()) {
      EXPECT_EQ(::chdir(old_cwd_.c_str()), 0);
    }
    if (!dir_.empty()) std::system(("rm -rf '" + dir_ + "'").c_str());
  }

  static void Put(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    ASSERT_TRUE(out.good()) << path;
  }

  static unsigned ModeOf(const std::string& path) {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) return 0;
    return st.st_mode & 07777;
  }

  // The names in a folder, without "." and "..".
  static std::set<std::string> Listing(const std::string& folder = ".") {
    std::set<std::string> names;
    if (DIR* d = ::opendir(folder.c_str())) {
      while (dirent* e = ::readdir(d)) {
        std::string name = e->d_name;
        if (name != "." && name != "..") names.insert(name);
      }
      ::closedir(d);
    }
    return names;
  }

  std::string old_cwd_;
  std::string dir_;
  mode_t old_umask_ = 022;
};

TEST_F(TextFilesTest, ReadHeadCutsAtNulAndAtMaxBytes) {
  Put("nul.txt", std::string("abc\0def", 7));
  Put("long.txt", "abcdef");
  Put("sjis.txt", "ホブネスト\r\n"_sj);
  EXPECT_EQ(text::ReadHead("nul.txt", 100), "abc");
  EXPECT_EQ(text::ReadHead("nul.txt", 2), "ab");
  EXPECT_EQ(text::ReadHead("long.txt", 4), "abcd");
  EXPECT_EQ(text::ReadHead("long.txt", 6), "abcdef");
  EXPECT_EQ(text::ReadHead("long.txt", 0), "");
  EXPECT_EQ(text::ReadHead("sjis.txt", 1000), "ホブネスト\r\n"_sj);
  EXPECT_EQ(text::ReadHead("missing.txt", 100), std::nullopt);
  ::mkdir("folder", 0755);
  EXPECT_EQ(text::ReadHead("folder", 100), std::nullopt);
}

TEST_F(TextFilesTest, ReadAllKeepsEveryByte) {
  std::string big;
  for (int i = 0; i < 300000; ++i) big.push_back(static_cast<char>(i * 7));
  Put("big.bin", big);
  Put("empty.txt", "");
  EXPECT_EQ(text::ReadAll("big.bin"), big);
  EXPECT_EQ(text::ReadAll("empty.txt"), "");
  EXPECT_EQ(text::ReadAll("missing.txt"), std::nullopt);
}

TEST_F(TextFilesTest, WriteAtomicCreatesAndReplacesWhole) {
  const std::string first = std::string("long old contents\r\n\0tail", 25);
  ASSERT_TRUE(text::WriteAtomic("Teikei.dat", first));
  EXPECT_EQ(text::ReadAll("Teikei.dat"), first);
  EXPECT_EQ(ModeOf("Teikei.dat"), 0644u);

  ASSERT_TRUE(text::WriteAtomic("Teikei.dat", "new\r\n"));
  EXPECT_EQ(text::ReadAll("Teikei.dat"), "new\r\n");  // nothing of the old bytes left behind

  ASSERT_TRUE(text::WriteAtomic("Teikei.dat", ""));
  EXPECT_EQ(text::ReadAll("Teikei.dat"), "");

  EXPECT_EQ(Listing(), std::set<std::string>{"Teikei.dat"});  // no temporary file stays
}

TEST_F(TextFilesTest, WriteAtomicModeOnCreateAndOnReplace) {
  ASSERT_TRUE(text::WriteAtomic("your.id", "someone\r\n0\r\n", 0600));
  EXPECT_EQ(ModeOf("your.id"), 0600u);

  // A file left world-readable by an earlier version becomes owner-only when rewritten.
  Put("old.id", "someone\r\nsecret\r\n");
  ASSERT_EQ(::chmod("old.id", 0644), 0);
  ASSERT_TRUE(text::WriteAtomic("old.id", "someone\r\nsecret2\r\n", 0600));
  EXPECT_EQ(ModeOf("old.id"), 0600u);
  EXPECT_EQ(text::ReadAll("old.id"), "someone\r\nsecret2\r\n");

  // And the other way: the default mode replaces an owner-only file as an ordinary one.
  ASSERT_TRUE(text::WriteAtomic("your.id", "x", 0644));
  EXPECT_EQ(ModeOf("your.id"), 0644u);
}

TEST_F(TextFilesTest, WriteAtomicWritesIntoSubfolders) {
  ASSERT_EQ(::mkdir("AddIn", 0755), 0);
  ASSERT_TRUE(text::WriteAtomic("AddIn/addin.txt", "a"));
  EXPECT_EQ(text::ReadAll("AddIn/addin.txt"), "a");
  EXPECT_EQ(Listing("AddIn"), std::set<std::string>{"addin.txt"});
  EXPECT_EQ(Listing(), std::set<std::string>{"AddIn"});
}

TEST_F(TextFilesTest, WriteAtomicFailureLeavesNothingBehind) {
  EXPECT_FALSE(text::WriteAtomic("nofolder/Config.txt", "x"));
  EXPECT_TRUE(Listing().empty());

  // A folder in the way of the target: the rename fails, the temporary file is removed.
  ASSERT_EQ(::mkdir("Config.txt", 0755), 0);
  Put("Config.txt/inside", "keep");
  EXPECT_FALSE(text::WriteAtomic("Config.txt", "x"));
  EXPECT_EQ(Listing(), std::set<std::string>{"Config.txt"});
  EXPECT_EQ(text::ReadAll("Config.txt/inside"), "keep");

  EXPECT_FALSE(text::WriteAtomic("", "x"));
  EXPECT_EQ(Listing(), std::set<std::string>{"Config.txt"});
}

TEST_F(TextFilesTest, WriteAtomicFailureKeepsOldFile) {
  if (::geteuid() == 0) GTEST_SKIP() << "folder permissions do not bind root";
  ASSERT_EQ(::mkdir("locked", 0755), 0);
  Put("locked/VisitList.txt", "old");
  ASSERT_EQ(::chmod("locked", 0555), 0);
  EXPECT_FALSE(text::WriteAtomic("locked/VisitList.txt", "new"));
  EXPECT_EQ(text::ReadAll("locked/VisitList.txt"), "old");
  EXPECT_EQ(Listing("locked"), std::set<std::string>{"VisitList.txt"});
  ::chmod("locked", 0755);
}

TEST_F(TextFilesTest, ExistsAndRemove) {
  Put("new.tmp", "");
  ::mkdir("Skin", 0755);
  EXPECT_TRUE(text::Exists("new.tmp"));
  EXPECT_FALSE(text::Exists("missing"));
  EXPECT_FALSE(text::Exists("Skin"));  // a folder is not a file

  EXPECT_TRUE(text::Remove("new.tmp"));
  EXPECT_FALSE(text::Exists("new.tmp"));
  EXPECT_FALSE(text::Remove("new.tmp"));
  EXPECT_FALSE(text::Remove("Skin"));
  EXPECT_TRUE(Listing() == std::set<std::string>{"Skin"});
}

TEST_F(TextFilesTest, LocalPath) {
  ASSERT_EQ(::mkdir("AddIn", 0755), 0);
  ASSERT_EQ(::mkdir("AddIn/006Quillet", 0755), 0);
  ASSERT_EQ(::mkdir("AddIn/Both", 0755), 0);
  ASSERT_EQ(::mkdir("AddIn/Folder", 0755), 0);
  Put("AddIn/006Quillet/Quillet", "");
  Put("AddIn/Both/Tool", "");
  Put("AddIn/Both/Tool.exe", "");
  Put("Only.exe", "");
  Put("Upper", "");
  ASSERT_EQ(::mkdir("AddIn/Folder/Sub", 0755), 0);

  struct Case {
    const char* stored;
    const char* local;
  };
  const Case kCases[] = {
      {"AddIn\\006Quillet\\Quillet.exe", "AddIn/006Quillet/Quillet"},  // only "X" exists
      {"AddIn\\Both\\Tool.exe", "AddIn/Both/Tool.exe"},                // both exist
      {"Only.exe", "Only.exe"},                                        // only "X.exe" exists
      {"AddIn\\Missing\\Gone.exe", "AddIn/Missing/Gone.exe"},          // neither exists
      {"Upper.EXE", "Upper"},
      {"AddIn\\Folder\\Sub.exe", "AddIn/Folder/Sub.exe"},  // a folder "X" is not a program
      {"Skin\\Blue.skn", "Skin/Blue.skn"},
      {"AddIn\\default.ico", "AddIn/default.ico"},
      {"AddIn\\.exe", "AddIn/.exe"},
      {"plain.txt", "plain.txt"},
      {"", ""},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.stored);
    EXPECT_EQ(text::LocalPath(c.stored), c.local);
  }
}

// ---------------------------------------------------------------------------------------------
// Hosts.txt

using HostsFileTest = TextFilesTest;

bool SameHosts(const text::Hosts& a, const text::Hosts& b) {
  return a.site == b.site && a.homepage == b.homepage && a.app == b.app && a.board == b.board &&
         a.update == b.update && a.support == b.support;
}

std::string Describe(const text::Hosts& h) {
  return "site=" + h.site + " homepage=" + h.homepage + " app=" + h.app + " board=" + h.board +
         " update=" + h.update + " support=" + h.support;
}

TEST(HostsTest, DefaultsAndUrl) {
  text::Hosts h = text::DefaultHosts();
  EXPECT_EQ(h.site, "www.hobnest.jp");
  EXPECT_EQ(h.homepage, "hp.hobnest.jp");
  EXPECT_EQ(h.app, "app.hobnest.jp");
  EXPECT_EQ(h.board, "bbs.hobnest.jp");
  EXPECT_EQ(h.update, "www.mirabo-soft.jp");
  EXPECT_EQ(h.support, "mirabo");
  EXPECT_EQ(text::Hosts::Url(h.homepage, "/@someone"), "http://hp.hobnest.jp/@someone");
  EXPECT_EQ(text::Hosts::Url("127.0.0.1:8080", "/Software/Mirabo.txt"),
            "http://127.0.0.1:8080/Software/Mirabo.txt");
}

TEST_F(HostsFileTest, MissingOrUnreadableFileGivesDefaults) {
  EXPECT_TRUE(SameHosts(text::LoadHosts(), text::DefaultHosts()));
  EXPECT_TRUE(SameHosts(text::LoadHosts("elsewhere/Hosts.txt"), text::DefaultHosts()));
  ::mkdir("Hosts.txt", 0755);
  EXPECT_TRUE(SameHosts(text::LoadHosts(), text::DefaultHosts()));
}

TEST_F(HostsFileTest, ParsesLines) {
  struct Case {
    const char* name;
    std::string file;
    void (*change)(text::Hosts&);
  };
  const Case kCases[] = {
      {"all keys, CR LF",
       "SITE=127.0.0.1:8080\r\nHOMEPAGE=hp.test:8081\r\nAPP=app.test\r\nBOARD=bbs.test:80\r\n"
       "UPDATE=localhost:9000\r\nSUPPORT=helper_01\r\n",
       [](text::Hosts& h) {
         h.site = "127.0.0.1:8080";
         h.homepage = "hp.test:8081";
         h.app = "app.test";
         h.board = "bbs.test:80";
         h.update = "localhost:9000";
         h.support = "helper_01";
       }},
      {"spaces and tabs", "  SITE   =   site.test  \n\tAPP\t=\tapp.test\t\r\n",
       [](text::Hosts& h) {
         h.site = "site.test";
         h.app = "app.test";
       }},
      {"comments", "# SITE = commented.test\n  # APP = also.test\nBOARD = b.test\n",
       [](text::Hosts& h) { h.board = "b.test"; }},
      {"unknown keys and blank lines", "FOO = bar\n\n\r\nSITES = x.test\nSITE = s.test\n",
       [](text::Hosts& h) { h.site = "s.test"; }},
      {"no line end at the end", "UPDATE = up.test:8000",
       [](text::Hosts& h) { h.update = "up.test:8000"; }},
      {"bare CR kept out of the value", "HOMEPAGE=hp.test\r",
       [](text::Hosts& h) { h.homepage = "hp.test"; }},
      {"IPv6 address", "SITE = [::1]:8080\nAPP = [::1]\n",
       [](text::Hosts& h) {
         h.site = "[::1]:8080";
         h.app = "[::1]";
       }},
      {"key in any case", "site = lower.test\n", [](text::Hosts& h) { h.site = "lower.test"; }},
      {"later line wins", "SITE = one.test\nSITE = two.test\n",
       [](text::Hosts& h) { h.site = "two.test"; }},
      {"later malformed line ignored", "SITE = one.test\nSITE = bad value\n",
       [](text::Hosts& h) { h.site = "one.test"; }},
      {"UTF-8 byte order mark", "\xEF\xBB\xBFSITE = bom.test\n",
       [](text::Hosts& h) { h.site = "bom.test"; }},
      {"no equals sign or no key", "SITE site.test\n= x.test\nSITE\n", [](text::Hosts&) {}},
      {"NUL bytes", "SITE=a\0b.test\nAPP=app.test\n\0\0\0\n"s,
       [](text::Hosts& h) { h.app = "app.test"; }},
      {"invalid Shift-JIS", "SITE=\x81\nBOARD=\x83\x5C.test\nAPP=\xFF\xFE\n", [](text::Hosts&) {}},
      {"no line breaks", "SITE=a.test APP=b.test UPDATE=c.test", [](text::Hosts&) {}},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    Put("Hosts.txt", c.file);
    text::Hosts expected = text::DefaultHosts();
    c.change(expected);
    text::Hosts got = text::LoadHosts();
    EXPECT_TRUE(SameHosts(got, expected)) << Describe(got);
  }
}

TEST_F(HostsFileTest, MalformedValueKeepsDefault) {
  const char* const kHosts[] = {
      "",         "a b.test", "http://x.test", "x.test/",      "\"x.test\"", "'x.test'",
      "<x.test>", "x.test:",  "x.test:0",      "x.test:65536", "x.test:8a",  "x.test:80:81",
      ":8080",    "-x.test",  ".x.test",       "x@y.test",     "[::1",       "[::1]8080",
      "[zz]",     "x\\y",     "x;y",           "ホスト.test",
  };
  for (const char* value : kHosts) {
    SCOPED_TRACE(value);
    Put("Hosts.txt", std::string("SITE = ") + value + "\r\nUPDATE=" + value + "\r\n");
    text::Hosts got = text::LoadHosts();
    EXPECT_TRUE(SameHosts(got, text::DefaultHosts())) << Describe(got);
  }
  // A member ID goes into a query: no host and port, no characters with a meaning there.
  const char* const kMemberIds[] = {"",    "a b", "a/b",   "a:80", "a&b",
                                    "a?b", "a#b", "\"a\"", "<a>",  "ホ"};
  for (const char* value : kMemberIds) {
    SCOPED_TRACE(value);
    Put("Hosts.txt", std::string("SUPPORT = ") + value + "\n");
    EXPECT_EQ(text::LoadHosts().support, "mirabo");
  }
}

TEST_F(HostsFileTest, ReadsOnlyTheFirst64KiB) {
  // A valid line after the limit is not read.
  std::string file;
  while (file.size() < 70 * 1024) file += "# padding padding padding padding padding\r\n";
  Put("Hosts.txt", "APP = early.test\r\n" + file + "SITE = late.test\r\n");
  text::Hosts got = text::LoadHosts();
  EXPECT_EQ(got.app, "early.test");
  EXPECT_EQ(got.site, "www.hobnest.jp");

  // A line cut by the limit is not taken in part.
  std::string padded = std::string(64 * 1024 - 12, '#') + "\n";
  Put("Hosts.txt", padded + "SITE=cut.example.test\n");
  EXPECT_EQ(text::LoadHosts().site, "www.hobnest.jp");

  // A last line ending right at the limit is whole.
  std::string exact = std::string(64 * 1024 - 13, '#') + "\nSITE=x.test\n";
  ASSERT_EQ(exact.size(), 64u * 1024);
  Put("Hosts.txt", exact + "more");
  EXPECT_EQ(text::LoadHosts().site, "x.test");
}

TEST_F(HostsFileTest, MegabyteOfJunkGivesDefaults) {
  std::string junk(1024 * 1024, '\0');
  std::uint32_t state = 12345;
  for (char& c : junk) {
    state = state * 1103515245u + 12345u;
    c = static_cast<char>(state >> 24);
  }
  Put("Hosts.txt", junk);
  EXPECT_TRUE(SameHosts(text::LoadHosts(), text::DefaultHosts()));

  Put("Hosts.txt", std::string(1024 * 1024, 'A'));
  EXPECT_TRUE(SameHosts(text::LoadHosts(), text::DefaultHosts()));

  Put("Hosts.txt", "SITE = s.test\n" + std::string(1024 * 1024, '='));
  EXPECT_EQ(text::LoadHosts().site, "s.test");
}

}  // namespace
