#include "KelSettings.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

namespace fs = std::filesystem;

namespace {

const char* const CR = "\r";

class SettingsFile : public ::testing::Test {
protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    Dir = fs::path(ZYMRA_TEST_OUTPUT_DIR) / "settings" / info->name();
    fs::remove_all(Dir);
    fs::create_directories(Dir);
    File = (Dir / "user.ini").string();
  }
  std::string Text() const {
    std::ifstream f(File, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
  }
  void Put(const std::string& text) const { std::ofstream(File, std::ios::binary) << text; }
  static std::string K(const std::string& s, const std::string& i, const std::string& d = "") {
    return s + CR + i + CR + d;
  }
  fs::path Dir;
  std::string File;
};

}  // namespace

TEST(SettingsKey, SplitsIntoSectionIdentAndDefault) {
  const TSettingsKey full = SplitSettingsKey("Forms\rFrmZymraMain\r7");
  EXPECT_EQ(full.Section, "Forms");
  EXPECT_EQ(full.Ident, "FrmZymraMain");
  EXPECT_EQ(full.Default, "7");
  const TSettingsKey two = SplitSettingsKey("Forms\rMain");
  EXPECT_EQ(two.Ident, "Main");
  EXPECT_EQ(two.Default, "");
  EXPECT_EQ(SplitSettingsKey("Only").Section, "Only");
  EXPECT_EQ(SplitSettingsKey("Only").Ident, "");
  // The default is everything after the second separator.
  EXPECT_EQ(SplitSettingsKey("a\rb\rc\rd").Default, "c\rd");
  EXPECT_EQ(MakeSettingsKey("S", "I", "D"), "S\rI\rD");
}

TEST_F(SettingsFile, DefaultsAreReturnedAndWrittenBack) {
  {
    TIniSettings ini(File);
    EXPECT_EQ(ini.ReadInteger(K("Forms", "Width", "7")), 7);
    EXPECT_EQ(ini.ReadString(K("Forms", "Caption", "Zymra \xB5")), "Zymra \xB5");
    ini.Flush();
  }
  const std::string text = Text();
  EXPECT_NE(text.find("[Forms]"), std::string::npos) << text;
  EXPECT_NE(text.find("Width=7\n"), std::string::npos) << text;
  EXPECT_NE(text.find("Caption=Zymra \xB5\n"), std::string::npos) << "Windows-1252 bytes kept";

  // Without WriteDefaults nothing is written, not even the file.
  const std::string other = (Dir / "quiet.ini").string();
  {
    TIniSettings ini(other);
    ini.WriteDefaults = false;
    EXPECT_EQ(ini.ReadInteger(K("Forms", "Width", "7")), 7);
    EXPECT_EQ(ini.ReadString(K("Forms", "Name", "x")), "x");
  }
  EXPECT_FALSE(fs::exists(other));
}

TEST_F(SettingsFile, StoredValuesWinAndMalformedIntegersFallBack) {
  Put("[S]\nNum=42\nBad=4x2\nHex=0x10\nText=abc\n");
  TIniSettings ini(File);
  EXPECT_EQ(ini.ReadInteger(K("S", "Num", "7")), 42);
  EXPECT_EQ(ini.ReadInteger(K("S", "Bad", "7")), 7);
  EXPECT_EQ(ini.ReadInteger(K("S", "Hex", "")), 16);
  EXPECT_EQ(ini.ReadInteger(K("S", "Missing", "oops")), 0);
  // Exact, case-sensitive comparison decides the write-back.
  EXPECT_EQ(ini.ReadString(K("S", "Text", "ABC")), "abc");
  ini.Flush();
  const std::string text = Text();
  EXPECT_NE(text.find("Text=abc"), std::string::npos);
  EXPECT_NE(text.find("Bad=7"), std::string::npos) << "a malformed value read as the default is replaced";
  EXPECT_NE(text.find("Missing=0"), std::string::npos);
}

TEST_F(SettingsFile, ReadsWindowsStyleFiles) {
  Put("; settings\r\n[Forms]\r\nFrmZymraMain = 10,20,800,600,0\r\n\r\n[File History]\r\nCount=2\r\n"
      "1='C:\\Data\\Run 1.zym'\r\n2=\"/home/u/b.zym\"\r\n[Other]\r\nx=1\r\n");
  TIniSettings ini(File);
  ini.WriteDefaults = false;
  EXPECT_EQ(ini.ReadString(K("forms", "frmzymramain")), "10,20,800,600,0");
  TSettingsStrings files;
  ini.ReadStrings("File History", files, "");
  EXPECT_EQ(files, (TSettingsStrings{"C:\\Data\\Run 1.zym", "/home/u/b.zym"}));
  TSettingsStrings list;
  ini.ReadSection(K("  File History  ", ""), list);
  EXPECT_EQ(list, (TSettingsStrings{"Count", "1", "2"}));
  ini.ReadSection("", list);
  EXPECT_EQ(list, (TSettingsStrings{"Forms", "File History", "Other"}));
}

TEST_F(SettingsFile, StringListsShrinkQuoteAndSkipEmpty) {
  TIniSettings ini(File);
  ini.WriteStrings("File History", {"a", "b", "c", "d", "e"}, false, false);
  ini.WriteStrings("File History", {"x", "", "O'Brien.zym"}, true, true);
  ini.Flush();
  const std::string text = Text();
  EXPECT_NE(text.find("Count=2\n"), std::string::npos) << text;
  EXPECT_NE(text.find("1='x'\n"), std::string::npos) << text;
  EXPECT_NE(text.find("2='O''Brien.zym'\n"), std::string::npos) << text;
  EXPECT_EQ(text.find("3="), std::string::npos) << text;
  EXPECT_EQ(text.find("5="), std::string::npos) << text;

  TSettingsStrings back;
  ini.ReadStrings("File History", back, "");
  EXPECT_EQ(back, (TSettingsStrings{"x", "O'Brien.zym"}));

  // Three over five with empty entries kept.
  ini.WriteStrings("L", {"1", "2", "3", "4", "5"}, false, false);
  ini.WriteStrings("L", {"", "q", ""}, false, false);
  ini.ReadStrings("L", back, "");
  EXPECT_EQ(back, (TSettingsStrings{"", "q", ""}));
  TSettingsStrings idents;
  ini.ReadSection("L", idents);
  EXPECT_EQ(idents, (TSettingsStrings{"1", "2", "3", "Count"}));
}

TEST_F(SettingsFile, StringListDefaultsAndDamagedCount) {
  TIniSettings ini(File);
  TSettingsStrings list;
  ini.ReadStrings("Recent", list, "one\r\ntwo\n");
  EXPECT_EQ(list, (TSettingsStrings{"one", "two"}));
  ini.Flush();
  EXPECT_NE(Text().find("2='two'"), std::string::npos) << Text();

  // Missing idents inside the count read as empty.
  ini.WriteString(K("Gaps", "Count"), "3");
  ini.WriteString(K("Gaps", "2"), "mid");
  ini.ReadStrings("Gaps", list, "");
  EXPECT_EQ(list, (TSettingsStrings{"", "mid", ""}));

  // A damaged huge count does not make the reader build a huge list.
  ini.WriteString(K("Huge", "Count"), "2000000000");
  ini.WriteString(K("Huge", "1"), "a");
  ini.WriteString(K("Huge", "4"), "d");
  ini.ReadStrings("Huge", list, "");
  EXPECT_EQ(list, (TSettingsStrings{"a", "", "", "d"}));
  ini.WriteStrings("Huge", {"z"}, false, false);
  ini.ReadSection("Huge", list);
  EXPECT_EQ(list, (TSettingsStrings{"Count", "1"}));
}

TEST_F(SettingsFile, NumberConversions) {
  TIniSettings ini(File);
  ini.WriteString(K("N", "Hex"), "0x1F");
  ini.WriteString(K("N", "Big"), "-9000000000");
  ini.WriteString(K("N", "Junk"), "12ab");
  EXPECT_EQ(ini.ReadInt64(K("N", "Hex")), 31);
  EXPECT_EQ(ini.ReadInt64(K("N", "Big")), -9000000000LL);
  EXPECT_EQ(ini.ReadInt64(K("N", "Junk", "0X10")), 16);
  EXPECT_EQ(ini.ReadInt64(K("N", "Junk", "nope")), 0);
  ini.WriteInt64(K("N", "W"), 1LL << 40);
  EXPECT_EQ(ini.ReadInt64(K("N", "W")), 1LL << 40);

  ini.WriteBool(K("B", "On"), true);
  ini.WriteBool(K("B", "Off"), false);
  EXPECT_TRUE(ini.ReadBool(K("B", "On")));
  EXPECT_FALSE(ini.ReadBool(K("B", "Off")));
  EXPECT_TRUE(ini.ReadBool(K("B", "Absent", "1")));

  const struct {
    double Value;
    const char* Text;
  } floats[] = {{1.5, "1.5"}, {2, "2"}, {-1.25, "-1.25"}, {1.0 / 3, "0.3333333333"}, {0, ""},
                {123456.0001, "123456.0001"}};
  for (const auto& f : floats) {
    ini.WriteFloat(K("F", "v"), f.Value);
    EXPECT_EQ(ini.ReadString(K("F", "v", "-")), f.Text);
    EXPECT_DOUBLE_EQ(ini.ReadFloat(K("F", "v")), f.Value == 1.0 / 3 ? 0.3333333333 : f.Value);
  }
  for (const char* bad : {"1,5", "abc", "1.5x", "inf", "nan"}) {
    ini.WriteString(K("F", "bad"), bad);
    EXPECT_EQ(ini.ReadFloat(K("F", "bad")), 0) << bad;
  }
}

TEST_F(SettingsFile, Dates) {
  // 2000-01-01 is day 36526 of the 1899-12-30 calendar.
  EXPECT_EQ(EncodeSettingsDate(2000, 1, 1), 36526);
  EXPECT_EQ(EncodeSettingsDate(1899, 12, 31), 1);
  EXPECT_EQ(EncodeSettingsDate(2023, 2, 29), 0);
  EXPECT_EQ(FormatSettingsDate(36526.75), "2000-01-01");
  EXPECT_EQ(FormatSettingsDate(-1.5), "1899-12-29");

  TIniSettings ini(File);
  ini.WriteDate(K("D", "Leap"), EncodeSettingsDate(2024, 2, 29) + 0.5);
  EXPECT_EQ(ini.ReadString(K("D", "Leap")), "2024-02-29");
  EXPECT_EQ(ini.ReadDate(K("D", "Leap")), EncodeSettingsDate(2024, 2, 29));
  for (const char* bad : {"2023-02-29", "2024-2-29", "2024/02/29", "2024-13-01", "", "0000-01-01"}) {
    ini.WriteString(K("D", "Bad"), bad);
    EXPECT_EQ(ini.ReadDate(K("D", "Bad")), 0) << bad;
  }
}

TEST_F(SettingsFile, ScrambledValues) {
  TIniSettings ini(File);
  // 'a' ^ 'A' = 0x20, 'b' ^ 'B' = 0x20, 'c' ^ 'A' = 0x22 (the key repeats).
  ini.WriteScrambled(K("P", "Pw"), "AB", 1, "abc");
  EXPECT_EQ(ini.ReadString(K("P", "Pw")), "202022");
  std::string v;
  ini.ReadScrambled(K("P", "Pw"), "AB", v, 1);
  EXPECT_EQ(v, "abc");
  ini.ReadScrambled(K("P", "Pw"), "AB", v, 0);
  EXPECT_EQ(v, "202022");

  ini.WriteString(K("P", "Odd"), "20202");
  ini.ReadScrambled(K("P", "Odd"), "AB", v, 1);
  EXPECT_EQ(v, "");
  ini.WriteString(K("P", "NotHex"), "20zz");
  ini.ReadScrambled(K("P", "NotHex"), "AB", v, 1);
  EXPECT_EQ(v, "");
  ini.WriteString(K("P", "Lower"), "2a");
  ini.ReadScrambled(K("P", "Lower"), "A", v, 1);
  EXPECT_EQ(v, "k");  // 0x2A ^ 0x41

  // Values written with an empty scramble key or another mode come back unchanged.
  ini.WriteScrambled(K("P", "Plain"), "", 1, "secret");
  EXPECT_EQ(ini.ReadString(K("P", "Plain")), "secret");
  ini.ReadScrambled(K("P", "Plain"), "", v, 1);
  EXPECT_EQ(v, "secret");
  ini.WriteScrambled(K("P", "Mode2"), "AB", 2, "open");
  ini.ReadScrambled(K("P", "Mode2"), "AB", v, 2);
  EXPECT_EQ(v, "open");
}

TEST_F(SettingsFile, FlushingAndWriteErrors) {
  {
    TIniSettings writer(File);
    writer.WriteString(K("S", "a"), "1");
    EXPECT_FALSE(fs::exists(File)) << "buffered until Flush";
    writer.AutoFlush = true;
    writer.WriteString(K("S", "b"), "line\nbreak");
    TIniSettings reader(File);
    EXPECT_EQ(reader.ReadString(K("S", "a")), "1");
    EXPECT_EQ(reader.ReadString(K("S", "b")), "line break");
    writer.AutoFlush = false;
    writer.WriteString(K("S", "c"), "3");
  }
  TIniSettings reopened(File);
  EXPECT_EQ(reopened.ReadString(K("S", "c")), "3") << "written when the store is freed";
  EXPECT_FALSE(fs::exists(File + ".new"));

  TIniSettings nowhere((Dir / "missing" / "x.ini").string());
  nowhere.WriteInteger(K("S", "a"), 1);
  EXPECT_THROW(nowhere.Flush(), EKelSettingsWrite);
}

TEST(UserSettingsFile, NameRule) {
  EXPECT_EQ(UserSettingsBaseName("/opt/zymra/Zymra.exe", "bob", "lab-pc"), "Zymra-bob@lab-pc.ini");
  EXPECT_EQ(UserSettingsBaseName("/opt/zymra/zymra", "bob", "lab-pc"), "zymra-bob@lab-pc.ini");
  EXPECT_EQ(UserSettingsBaseName("my.app.bin", "bob", "pc"), "my.app-bob@pc.ini");
  EXPECT_EQ(UserSettingsBaseName("/z/zymra", "fifteen_chars_x", "sixteen_chars_xx"),
            "zymra-fifteen_chars_x@.ini");
  EXPECT_EQ(UserSettingsBaseName("/z/zymra", "", ""), "zymra-@.ini");
}

// The file lives in the user's configuration folder, also when the program's folder could
// take it (an installed program run as root once wrote into bin/).
TEST(UserSettingsFile, LivesInTheUsersConfigFolder) {
  const fs::path base = fs::path(ZYMRA_TEST_OUTPUT_DIR) / "settings" / "place";
  fs::remove_all(base);
  fs::create_directories(base / "bin");
  const std::string program = (base / "bin" / "zymra").string();
  const char* oldXdg = std::getenv("XDG_CONFIG_HOME");
  const std::string savedXdg = oldXdg ? oldXdg : "";
  const char* oldHome = std::getenv("HOME");
  const std::string savedHome = oldHome ? oldHome : "";
  setenv("HOME", (base / "home").c_str(), 1);

  setenv("XDG_CONFIG_HOME", (base / "xdg").c_str(), 1);
  EXPECT_EQ(UserSettingsFileName(program, "u", "h"), (base / "xdg" / "zymra" / "zymra-u@h.ini").string());
  EXPECT_TRUE(fs::is_directory(base / "xdg" / "zymra"));
  setenv("XDG_CONFIG_HOME", "relative/dir", 1);  // not absolute: ignored
  EXPECT_EQ(UserSettingsFileName(program, "u", "h"),
            (base / "home" / ".config" / "zymra" / "zymra-u@h.ini").string());
  unsetenv("XDG_CONFIG_HOME");
  const std::string name = UserSettingsFileName(program, "u", "h");
  EXPECT_EQ(name, (base / "home" / ".config" / "zymra" / "zymra-u@h.ini").string());
  {
    TIniSettings ini(name);
    ini.WriteInteger(MakeSettingsKey("Forms", "x"), 5);
    ini.Flush();
  }
  EXPECT_TRUE(fs::exists(name));
  EXPECT_TRUE(fs::is_empty(base / "bin"));

  if (oldXdg) setenv("XDG_CONFIG_HOME", savedXdg.c_str(), 1); else unsetenv("XDG_CONFIG_HOME");
  if (oldHome) setenv("HOME", savedHome.c_str(), 1); else unsetenv("HOME");
}
