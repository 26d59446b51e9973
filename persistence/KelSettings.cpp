#include "KelSettings.h"

#include "KelDateTime.h"
#define SI_CONVERT_ICU
#include <SimpleIni.h>

#include <fcntl.h>
#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <list>

namespace fs = std::filesystem;

namespace {

constexpr char kKeySeparator = '\r';
// A damaged "Count" must not make a list reader allocate without end.
constexpr long long kMaxTrustedCount = 65536;

std::string_view TrimBlanks(std::string_view s) {
  while (!s.empty() && static_cast<unsigned char>(s.front()) <= ' ') s.remove_prefix(1);
  while (!s.empty() && static_cast<unsigned char>(s.back()) <= ' ') s.remove_suffix(1);
  return s;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Decimal with an optional sign, or "0x"/"0X" followed by up to 16 hex digits
// (taken as the bit pattern, so 0xFFFFFFFFFFFFFFFF is -1).
bool ParseInt64(std::string_view text, std::int64_t& value) {
  const std::string_view s = TrimBlanks(text);
  if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
    const std::string_view h = s.substr(2);
    if (h.size() > 16) return false;
    std::uint64_t v = 0;
    for (char c : h) {
      const int d = HexDigit(c);
      if (d < 0) return false;
      v = (v << 4) | static_cast<unsigned>(d);
    }
    value = static_cast<std::int64_t>(v);
    return true;
  }
  std::string_view d = s;
  if (!d.empty() && d[0] == '+') d.remove_prefix(1);
  if (d.empty()) return false;
  std::int64_t v = 0;
  const auto r = std::from_chars(d.data(), d.data() + d.size(), v);
  if (r.ec != std::errc() || r.ptr != d.data() + d.size()) return false;
  value = v;
  return true;
}

bool ParseInt32(std::string_view text, int& value) {
  const std::string_view s = TrimBlanks(text);
  std::int64_t v = 0;
  if (!ParseInt64(s, v)) return false;
  const bool hex = s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X');
  if (hex) {
    if (s.size() - 2 > 8) return false;
    value = static_cast<int>(static_cast<std::uint32_t>(v));
    return true;
  }
  if (v < INT32_MIN || v > INT32_MAX) return false;
  value = static_cast<int>(v);
  return true;
}

bool ParseFloat(std::string_view text, double& value) {
  std::string_view s = TrimBlanks(text);
  if (!s.empty() && s[0] == '+') s.remove_prefix(1);
  if (s.empty()) return false;
  // Plain decimal notation only: no "inf", "nan" or hexadecimal floats.
  for (char c : s)
    if (!((c >= '0' && c <= '9') || c == '.' || c == '-' || c == '+' || c == 'e' || c == 'E'))
      return false;
  double v = 0;
  const auto r = std::from_chars(s.data(), s.data() + s.size(), v);
  if (r.ec != std::errc() || r.ptr != s.data() + s.size()) return false;
  value = v;
  return true;
}

bool IsLeap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

bool ParseDate(std::string_view s, double& value) {
  if (s.size() != 10 || s[4] != '-' || s[7] != '-') return false;
  int parts[3] = {0, 0, 0};
  const int from[3] = {0, 5, 8}, len[3] = {4, 2, 2};
  for (int p = 0; p < 3; ++p)
    for (int i = 0; i < len[p]; ++i) {
      const char c = s[static_cast<std::size_t>(from[p] + i)];
      if (c < '0' || c > '9') return false;
      parts[p] = parts[p] * 10 + (c - '0');
    }
  const double v = EncodeSettingsDate(parts[0], parts[1], parts[2]);
  if (v == 0 && !(parts[0] == 1899 && parts[1] == 12 && parts[2] == 30)) return false;
  value = v;
  return true;
}

std::string QuoteValue(std::string_view s) {
  std::string q = "'";
  for (char c : s) {
    q += c;
    if (c == '\'') q += '\'';
  }
  q += '\'';
  return q;
}

std::string UndoubleQuotes(std::string_view s) {
  std::string r;
  for (std::size_t i = 0; i < s.size(); ++i) {
    r += s[i];
    if (s[i] == '\'' && i + 1 < s.size() && s[i + 1] == '\'') ++i;
  }
  return r;
}

// Entries of a multi-line text, as a string list takes them: CR, LF and CRLF
// all end a line; a final line break adds no empty entry.
TSettingsStrings SplitLines(std::string_view text) {
  TSettingsStrings lines;
  std::size_t start = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' || text[i] == '\n') {
      lines.emplace_back(text.substr(start, i - start));
      if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
      start = i + 1;
    }
  }
  if (start < text.size()) lines.emplace_back(text.substr(start));
  return lines;
}

bool IsDecimalIdent(const char* s, long long& n) {
  if (!s || !*s) return false;
  n = 0;
  for (const char* p = s; *p; ++p) {
    if (*p < '0' || *p > '9' || n > kMaxTrustedCount * 1000) return false;
    n = n * 10 + (*p - '0');
  }
  return true;
}

}  // namespace

// ---------------------------------------------------------------- keys and dates

TSettingsKey SplitSettingsKey(std::string_view key) {
  TSettingsKey k;
  std::string* parts[3] = {&k.Section, &k.Ident, &k.Default};
  for (int i = 0; i < 3; ++i) {
    const std::size_t cut = i < 2 ? key.find(kKeySeparator) : std::string_view::npos;
    *parts[i] = std::string(key.substr(0, cut));
    if (cut == std::string_view::npos) break;
    key.remove_prefix(cut + 1);
  }
  return k;
}

std::string MakeSettingsKey(std::string_view section, std::string_view ident,
                            std::string_view defaultValue) {
  std::string k(section);
  k += kKeySeparator;
  k += ident;
  k += kKeySeparator;
  k += defaultValue;
  return k;
}

double EncodeSettingsDate(int year, int month, int day) {
  static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1) return 0;
  const int last = kDays[month - 1] + (month == 2 && IsLeap(year) ? 1 : 0);
  if (day > last) return 0;
  return static_cast<double>(DaysFromCivil(year, static_cast<unsigned>(month),
                                           static_cast<unsigned>(day)) +
                             kDateTimeEpochOffset);
}

std::string FormatSettingsDate(double dateTime) {
  // Days count toward zero: -1.5 is noon of 1899-12-29.
  if (!std::isfinite(dateTime) || std::fabs(dateTime) > 3.0e6) return {};
  const long long days = static_cast<long long>(std::trunc(dateTime));
  long long y;
  unsigned m, d;
  CivilFromDays(days - kDateTimeEpochOffset, y, m, d);
  if (y < 1 || y > 9999) return {};
  char buf[32];
  std::snprintf(buf, sizeof buf, "%04d-%02u-%02u", static_cast<int>(y), m, d);
  return buf;
}

// ---------------------------------------------------------------- conversions

std::int64_t TSettings::ReadInt64(std::string_view key) {
  std::int64_t v = 0;
  if (ParseInt64(ReadString(key), v)) return v;
  if (ParseInt64(SplitSettingsKey(key).Default, v)) return v;
  return 0;
}

bool TSettings::ReadBool(std::string_view key) { return ReadInteger(key) != 0; }

double TSettings::ReadDate(std::string_view key) {
  double v = 0;
  return ParseDate(ReadString(key), v) ? v : 0;
}

double TSettings::ReadFloat(std::string_view key) {
  double v = 0;
  return ParseFloat(ReadString(key), v) ? v : 0;
}

void TSettings::ReadScrambled(std::string_view key, std::string_view scrambleKey,
                              std::string& value, int mode) {
  const std::string text = ReadString(key);
  // An empty scramble key writes the value unchanged, so it reads unchanged
  // too; otherwise such a value could never be read back.
  if (mode != 1 || scrambleKey.empty()) {
    value = text;
    return;
  }
  value.clear();
  if (text.size() % 2) return;
  std::string plain;
  plain.reserve(text.size() / 2);
  for (std::size_t i = 0; i < text.size(); i += 2) {
    const int hi = HexDigit(text[i]), lo = HexDigit(text[i + 1]);
    if (hi < 0 || lo < 0) return;
    const auto b = static_cast<unsigned char>(hi * 16 + lo);
    plain += static_cast<char>(b ^ static_cast<unsigned char>(scrambleKey[(i / 2) % scrambleKey.size()]));
  }
  value = std::move(plain);
}

void TSettings::WriteInt64(std::string_view key, std::int64_t value) {
  WriteString(key, std::to_string(value));
}

void TSettings::WriteBool(std::string_view key, bool value) { WriteInteger(key, value ? 1 : 0); }

void TSettings::WriteDate(std::string_view key, double value) {
  WriteString(key, FormatSettingsDate(value));
}

void TSettings::WriteFloat(std::string_view key, double value) {
  // Not-a-number and infinities have no decimal text; they are stored like 0.
  if (value == 0 || !std::isfinite(value)) {
    WriteString(key, "");
    return;
  }
  char buf[400];  // the largest double has 309 digits before the point
  const int n = std::snprintf(buf, sizeof buf, "%.10f", value);
  std::string s(buf, static_cast<std::size_t>(std::clamp(n, 0, static_cast<int>(sizeof buf) - 1)));
  while (!s.empty() && s.back() == '0') s.pop_back();
  if (!s.empty() && s.back() == '.') s.pop_back();
  WriteString(key, s);
}

void TSettings::WriteScrambled(std::string_view key, std::string_view scrambleKey, int mode,
                               std::string_view value) {
  if (mode != 1 || scrambleKey.empty()) {
    WriteString(key, value);
    return;
  }
  static const char digits[] = "0123456789ABCDEF";
  std::string hex;
  hex.reserve(value.size() * 2);
  for (std::size_t i = 0; i < value.size(); ++i) {
    const auto b = static_cast<unsigned char>(static_cast<unsigned char>(value[i]) ^
                                              static_cast<unsigned char>(scrambleKey[i % scrambleKey.size()]));
    hex += digits[b >> 4];
    hex += digits[b & 15];
  }
  WriteString(key, hex);
}

// ---------------------------------------------------------------- INI file

struct TIniSettings::TIniFile {
  CSimpleIniA Ini{false, false, false};
};

TIniSettings::TIniSettings(std::string fileName)
    : IniFile(std::make_unique<TIniFile>()), FFileName(std::move(fileName)) {
  IniFile->Ini.SetUnicode(false);  // bytes pass through unchanged (Windows-1252)
  IniFile->Ini.SetSpaces(false);   // ident=value
  IniFile->Ini.SetQuotes(false);   // quotes are stripped by Get
  IniFile->Ini.LoadFile(FFileName.c_str());
}

TIniSettings::~TIniSettings() {
  try {
    Flush();
  } catch (...) {
  }
}

bool TIniSettings::Get(const std::string& section, const std::string& ident, std::string& value,
                       bool* wasSingleQuoted) const {
  const char* raw = IniFile->Ini.GetValue(section.c_str(), ident.c_str(), nullptr);
  if (wasSingleQuoted) *wasSingleQuoted = false;
  if (!raw) return false;
  std::string_view v(raw);
  if (v.size() >= 2 && v.front() == v.back() && (v.front() == '\'' || v.front() == '"')) {
    if (wasSingleQuoted) *wasSingleQuoted = v.front() == '\'';
    v = v.substr(1, v.size() - 2);
  }
  value.assign(v);
  return true;
}

void TIniSettings::Put(const std::string& section, const std::string& ident, std::string_view value) {
  // A line break inside a value would split the line and corrupt the file.
  std::string v(value);
  std::replace(v.begin(), v.end(), '\r', ' ');
  std::replace(v.begin(), v.end(), '\n', ' ');
  const char* old = IniFile->Ini.GetValue(section.c_str(), ident.c_str(), nullptr);
  if (old && v == old) return;
  if (IniFile->Ini.SetValue(section.c_str(), ident.c_str(), v.c_str()) < 0)
    throw EKelSettingsWrite("Unable to write to " + FFileName);
  FDirty = true;
}

void TIniSettings::AfterWrite() {
  if (AutoFlush) Flush();
}

bool TIniSettings::DeleteKey(std::string_view section, std::string_view ident) {
  const std::string s(section), i(ident);
  const bool found = IniFile->Ini.Delete(s.c_str(), i.c_str(), false);
  if (found) {
    FDirty = true;
    AfterWrite();
  }
  return found;
}

void TIniSettings::Flush() {
  if (!FDirty) return;
  std::string data;
  if (IniFile->Ini.Save(data, false) < 0) throw EKelSettingsWrite("Unable to write to " + FFileName);
  // Write beside the file and rename over it, so that a failed write never
  // leaves a truncated settings file behind.
  const std::string temp = FFileName + ".new";
  {
    std::ofstream f(temp, std::ios::binary | std::ios::trunc);
    f.write(data.data(), static_cast<std::streamsize>(data.size()));
    f.close();
    if (!f) {
      std::remove(temp.c_str());
      throw EKelSettingsWrite("Unable to write to " + FFileName);
    }
  }
  if (std::rename(temp.c_str(), FFileName.c_str()) != 0) {
    std::remove(temp.c_str());
    throw EKelSettingsWrite("Unable to write to " + FFileName);
  }
  FDirty = false;
}

int TIniSettings::ReadInteger(std::string_view key) {
  const TSettingsKey k = SplitSettingsKey(key);
  int def = 0;
  if (!ParseInt32(k.Default, def)) def = 0;
  int value = def;
  std::string text;
  if (!Get(k.Section, k.Ident, text) || !ParseInt32(text, value)) value = def;
  if (WriteDefaults && value == def) WriteInteger(key, value);
  return value;
}

void TIniSettings::ReadString(std::string_view key, std::string& value) {
  const TSettingsKey k = SplitSettingsKey(key);
  if (!Get(k.Section, k.Ident, value)) value = k.Default;
  if (WriteDefaults && value == k.Default) WriteString(key, value);
}

void TIniSettings::WriteInteger(std::string_view key, int value) {
  const TSettingsKey k = SplitSettingsKey(key);
  Put(k.Section, k.Ident, std::to_string(value));
  AfterWrite();
}

void TIniSettings::WriteString(std::string_view key, std::string_view value) {
  const TSettingsKey k = SplitSettingsKey(key);
  Put(k.Section, k.Ident, value);
  AfterWrite();
}

void TIniSettings::WriteStrings(std::string_view section, const TSettingsStrings& strings,
                                bool skipEmpty, bool quote) {
  const std::string s(section);
  std::string text;
  int old = 0;
  if (!Get(s, "Count", text) || !ParseInt32(text, old)) old = 0;
  int n = 0;
  for (const std::string& item : strings) {
    if (skipEmpty && item.empty()) continue;
    ++n;
    Put(s, std::to_string(n), quote ? QuoteValue(item) : item);
  }
  Put(s, "Count", std::to_string(n));
  // Delete the idents n+1..old that exist, without counting up to a damaged Count.
  CSimpleIniA::TNamesDepend keys;
  IniFile->Ini.GetAllKeys(s.c_str(), keys);
  std::vector<std::string> stale;
  for (const auto& e : keys) {
    long long i = 0;
    if (IsDecimalIdent(e.pItem, i) && i > n && i <= old) stale.emplace_back(e.pItem);
  }
  for (const std::string& ident : stale) {
    IniFile->Ini.Delete(s.c_str(), ident.c_str(), false);
    FDirty = true;
  }
  AfterWrite();
}

void TIniSettings::ReadStrings(std::string_view section, TSettingsStrings& strings,
                               std::string_view defaultText) {
  const std::string s(section);
  strings.clear();
  std::string text;
  std::int64_t count = 0;
  if (!Get(s, "Count", text) || !ParseInt64(text, count) || count < 0) count = 0;
  if (count > kMaxTrustedCount) {
    // Beyond any real list: trust only the idents that are there.
    CSimpleIniA::TNamesDepend keys;
    IniFile->Ini.GetAllKeys(s.c_str(), keys);
    long long highest = 0;
    for (const auto& e : keys) {
      long long i = 0;
      if (IsDecimalIdent(e.pItem, i)) highest = std::max(highest, i);
    }
    count = std::min<std::int64_t>(count, highest);
  }
  for (std::int64_t i = 1; i <= count; ++i) {
    std::string v;
    bool singleQuoted = false;
    Get(s, std::to_string(i), v, &singleQuoted);
    // Entries written quoted had their quotes doubled; undo that as well.
    strings.push_back(singleQuoted ? UndoubleQuotes(v) : v);
  }
  if (defaultText.empty()) return;
  const TSettingsStrings defaults = SplitLines(defaultText);
  if (strings.empty()) strings = defaults;
  if (WriteDefaults && strings == defaults) WriteStrings(section, strings, false, true);
}

void TIniSettings::ReadSection(std::string_view key, TSettingsStrings& list) {
  list.clear();
  const std::string s(TrimBlanks(SplitSettingsKey(key).Section));
  CSimpleIniA::TNamesDepend names;
  if (!s.empty())
    IniFile->Ini.GetAllKeys(s.c_str(), names);
  else
    IniFile->Ini.GetAllSections(names);
  names.sort(CSimpleIniA::Entry::LoadOrder());
  for (const auto& e : names) list.emplace_back(e.pItem);
}

// ---------------------------------------------------------------- per-user file

std::string UserSettingsBaseName(std::string_view programFile, std::string_view user,
                                 std::string_view computer) {
  const std::size_t slash = programFile.find_last_of('/');
  std::string_view name = slash == std::string_view::npos ? programFile : programFile.substr(slash + 1);
  const std::size_t dot = name.rfind('.');
  if (dot != std::string_view::npos) name = name.substr(0, dot);
  // The names were read into 16-byte buffers; longer ones did not fit.
  auto part = [](std::string_view s) { return s.size() <= 15 ? std::string(s) : std::string(); };
  return std::string(name) + "-" + part(user) + "@" + part(computer) + ".ini";
}

namespace {

std::string LoginName() {
  std::vector<char> buf(16384);
  passwd pw{};
  passwd* result = nullptr;
  if (getpwuid_r(geteuid(), &pw, buf.data(), buf.size(), &result) == 0 && result && result->pw_name)
    return result->pw_name;
  for (const char* var : {"USER", "LOGNAME"})
    if (const char* v = std::getenv(var)) return v;
  return {};
}

std::string ComputerName() {
  char buf[256] = {};
  if (gethostname(buf, sizeof buf - 1) != 0) return {};
  return buf;
}

fs::path ConfigHome() {
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  if (xdg && *xdg == '/') return xdg;  // relative values are to be ignored
  const char* home = std::getenv("HOME");
  if (home && *home) return fs::path(home) / ".config";
  std::vector<char> buf(16384);
  passwd pw{};
  passwd* result = nullptr;
  if (getpwuid_r(geteuid(), &pw, buf.data(), buf.size(), &result) == 0 && result && result->pw_dir)
    return fs::path(result->pw_dir) / ".config";
  return fs::temp_directory_path();
}

}  // namespace

std::string UserSettingsFileName(const std::string& programFile, std::string_view user,
                                 std::string_view computer) {
  const std::string name = UserSettingsBaseName(programFile, user, computer);
  // The user's own configuration folder, never the program's: an installed program's folder
  // belongs to the system and is shared by every user.
  std::error_code ec;
  const fs::path dir = ConfigHome() / "zymra";
  fs::create_directories(dir, ec);
  return (dir / name).string();
}

std::string UserSettingsFileName(const std::string& programFile) {
  return UserSettingsFileName(programFile, LoginName(), ComputerName());
}
