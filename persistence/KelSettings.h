#pragma once
// Typed user settings on an INI file.
//
// A key is one text "section\rident\rdefault" (tokens separated by carriage
// return, code 13; missing tokens are empty), so that every setting can be
// described completely by one constant. Texts are Windows-1252 bytes.
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

// Raised when the INI file cannot be written.
class EKelSettingsWrite : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

// The list type of ReadStrings, WriteStrings and ReadSection.
using TSettingsStrings = std::vector<std::string>;

struct TSettingsKey {
  std::string Section;
  std::string Ident;
  std::string Default;
};
TSettingsKey SplitSettingsKey(std::string_view key);
std::string MakeSettingsKey(std::string_view section, std::string_view ident,
                            std::string_view defaultValue = {});

// Date-times are days since 1899-12-30 (the time of day is the fraction), as
// they are stored in project files.
double EncodeSettingsDate(int year, int month, int day);  // 0 for an invalid date
// Formats the day of a date-time as "YYYY-MM-DD".
std::string FormatSettingsDate(double dateTime);

class TSettings {
public:
  TSettings() = default;
  virtual ~TSettings() = default;
  TSettings(const TSettings&) = delete;
  TSettings& operator=(const TSettings&) = delete;

  // Every write is followed by Flush.
  bool AutoFlush = false;
  // A read whose result equals the key's default writes it back, so that a
  // fresh file fills up with every setting the program asks for.
  bool WriteDefaults = true;
  // Section for form placements.
  std::string FormsSection = "Forms";

  virtual void Flush() = 0;
  virtual int ReadInteger(std::string_view key) = 0;
  virtual void ReadString(std::string_view key, std::string& value) = 0;
  // The whole of `section` names the section; a non-empty default text (one
  // entry per line) is used when the section holds no entries.
  virtual void ReadStrings(std::string_view section, TSettingsStrings& strings,
                           std::string_view defaultText) = 0;
  virtual void WriteInteger(std::string_view key, int value) = 0;
  virtual void WriteString(std::string_view key, std::string_view value) = 0;
  // Writes "Count" and idents "1".."Count"; idents left over from a longer list are deleted.
  virtual void WriteStrings(std::string_view section, const TSettingsStrings& strings,
                            bool skipEmpty, bool quote) = 0;
  // Idents of the key's section, or all section names when it has none.
  virtual void ReadSection(std::string_view key, TSettingsStrings& list) = 0;

  // "0x"/"0X" prefixed texts are hexadecimal.
  virtual std::int64_t ReadInt64(std::string_view key);
  virtual bool ReadBool(std::string_view key);
  // "YYYY-MM-DD"; anything else reads as 0.
  virtual double ReadDate(std::string_view key);
  // "." is the decimal separator; an empty or malformed text reads as 0.
  virtual double ReadFloat(std::string_view key);
  // Mode 1: the stored text is hexadecimal bytes, each the exclusive-or of a
  // value character with the repeating scramble key. Other modes: plain text.
  virtual void ReadScrambled(std::string_view key, std::string_view scrambleKey,
                             std::string& value, int mode);
  virtual void WriteInt64(std::string_view key, std::int64_t value);
  virtual void WriteBool(std::string_view key, bool value);
  virtual void WriteDate(std::string_view key, double value);
  // 0 is written as the empty text; others with up to 10 decimals, no trailing zeros.
  virtual void WriteFloat(std::string_view key, double value);
  virtual void WriteScrambled(std::string_view key, std::string_view scrambleKey, int mode,
                              std::string_view value);

  // Convenience: ReadString returning the value.
  std::string ReadString(std::string_view key) {
    std::string v;
    ReadString(key, v);
    return v;
  }
};

// Settings on a Windows-style INI file ([section] lines and ident=value lines).
// Changes are kept in memory until Flush (or AutoFlush, or destruction).
class TIniSettings : public TSettings {
public:
  // Opens `fileName`; a missing or unreadable file starts empty.
  explicit TIniSettings(std::string fileName);
  // Writes unsaved changes; errors are swallowed here, call Flush to see them.
  ~TIniSettings() override;

  const std::string& FileName() const { return FFileName; }

  // Writes the file if anything changed; raises EKelSettingsWrite on failure.
  void Flush() override;
  int ReadInteger(std::string_view key) override;
  void ReadString(std::string_view key, std::string& value) override;
  using TSettings::ReadString;
  void ReadStrings(std::string_view section, TSettingsStrings& strings,
                   std::string_view defaultText) override;
  void WriteInteger(std::string_view key, int value) override;
  void WriteString(std::string_view key, std::string_view value) override;
  void WriteStrings(std::string_view section, const TSettingsStrings& strings, bool skipEmpty,
                    bool quote) override;
  void ReadSection(std::string_view key, TSettingsStrings& list) override;

  // Removes one ident; true when it existed.
  bool DeleteKey(std::string_view section, std::string_view ident);

private:
  struct TIniFile;
  std::unique_ptr<TIniFile> IniFile;
  std::string FFileName;
  bool FDirty = false;

  // Value as the INI layer reads it (one pair of enclosing quotes removed);
  // false when the ident is absent.
  bool Get(const std::string& section, const std::string& ident, std::string& value,
           bool* wasSingleQuoted = nullptr) const;
  void Put(const std::string& section, const std::string& ident, std::string_view value);
  void AfterWrite();
};

// Name of the per-user settings file: the program file's name up to its last
// ".", "-", user, "@", computer, ".ini". A user or computer name longer than
// 15 characters is left out.
std::string UserSettingsBaseName(std::string_view programFile, std::string_view user,
                                 std::string_view computer);

// Full path of the per-user settings file for the running user and computer, in
// $XDG_CONFIG_HOME/zymra/ (~/.config/zymra/ when XDG_CONFIG_HOME is unset or not
// absolute), which is created as needed; never in the program's folder.
std::string UserSettingsFileName(const std::string& programFile);
std::string UserSettingsFileName(const std::string& programFile, std::string_view user,
                                 std::string_view computer);
