#pragma once
#include <QFont>
// The about box: program title and version, the program file's path, date, size
// and checksum (copyable to the clipboard), and an optional page of further text.
#include <QDialog>
#include <QPixmap>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <stdexcept>

class QLabel;
class QPlainTextEdit;
class QPushButton;
class QTabWidget;
class QWidget;
class TPaxHyperlinkLabel;

// A file that cannot be opened or read while it is checksummed.
class EKelFileRead : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// One chunk of the program-file checksum: a CRC-32 register (polynomial
// 0x04C11DB7, most significant bit first) started at 0xFFFFFFFF, the chunk's bytes
// shifted in, then the four bytes of the previous chunk's result (0 for the first).
std::uint32_t Crc32Chunk(const unsigned char* data, std::size_t size, std::uint32_t previous);
// Checksum of a whole file, in chunks of 1 MiB, each chained to the one before.
// An empty file gives 0. Throws EKelFileRead when the file cannot be read.
std::uint32_t FileCrc32(const QString& path);
// Chunk length of FileCrc32.
inline constexpr std::size_t Crc32ChunkSize = 1048576;

// Integer with "." between groups of three digits (1164800 gives 1.164.800).
QString ThousandsText(long long value);

class TFrmAbout : public QDialog {
  Q_OBJECT
 public:
  explicit TFrmAbout(QWidget* parent = nullptr);

  // Fills every page for the given program file (steps before showing).
  void Fill(const QString& title, const QString& version, const QString& furtherInfo,
            const QString& exeFile);
  // Puts VersionInfoText on the clipboard and beeps.
  void BtnCopyVersionInfoClick();

  QString VersionInfoText;

  QLabel* Image1;
  QTabWidget* PageControl;
  QWidget* TshInfo;
  QLabel* LblAppTitle;
  QLabel* Label5;
  QLabel* LblVersion;
  QLabel* Label2;
  QLabel* Label4;
  TPaxHyperlinkLabel* LblHomepage;
  QWidget* TshVersionInfo;
  QLabel* LblVersion2;
  QLabel* LblExePath;
  QLabel* LblExeName;
  QLabel* LblExeDateTime;
  QLabel* LblExeSize;
  QLabel* LblExeCrc32;
  QPushButton* BtnCopyVersionInfo;
  QWidget* TshExtInfo;
  QPlainTextEdit* MmoExtInfo;
  QPushButton* BtnOK;
};

// Shows the about box modally for the running program. showModal replaces the
// modal loop (tests); by default the dialog's exec() runs.
int ShowAbout(const QString& title, const QString& version, const QString& furtherInfo,
              QWidget* parent = nullptr, const std::function<int(TFrmAbout&)>& showModal = {});

// The maker's web address shown in the about box.
QString MakerHomepage();
// The maker's logo (193 × 34).
QPixmap MakerLogo();
// The forms' "Verdana" at a pixel size.
QFont FormFont(int pixels, bool bold = false);
// The white band across the top of a form with the maker's logo in it (object name
// "Image1"); returns the logo label.
QLabel* AddLogoBand(QWidget* form, int width, int logoLeft);
