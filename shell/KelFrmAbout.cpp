#include "KelFrmAbout.h"

#include "KelCmpShell.h"

#include <QApplication>
#include <QClipboard>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLocale>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QShortcut>
#include <QTabWidget>
#include <QVBoxLayout>

#include <array>
#include <memory>
#include <vector>

// Resources of a static library are only linked in when something refers to them.
static void InitShellResources() { Q_INIT_RESOURCE(zymra_shell); }

namespace {

constexpr std::uint32_t Polynomial = 0x04C11DB7;

const std::array<std::uint32_t, 256>& CrcTable() {
  static const std::array<std::uint32_t, 256> table = [] {
    std::array<std::uint32_t, 256> t{};
    for (std::uint32_t i = 0; i < 256; ++i) {
      std::uint32_t r = i << 24;
      for (int bit = 0; bit < 8; ++bit) r = (r & 0x80000000u) ? (r << 1) ^ Polynomial : r << 1;
      t[i] = r;
    }
    return t;
  }();
  return table;
}

inline std::uint32_t CrcStep(std::uint32_t r, unsigned char b) {
  return CrcTable()[r >> 24] ^ (r << 8) ^ b;
}

QLabel* MakeLabel(QWidget* parent, const QString& name, const QString& text, int x, int y,
                  int w, bool bold = false) {
  auto* label = new QLabel(text, parent);
  label->setObjectName(name);
  label->setGeometry(x, y, w, 18);
  if (bold) label->setFont(FormFont(11, true));
  return label;
}

QString DateTimeText(const QDateTime& when) {
  const QLocale locale;
  return locale.toString(when.date(), QLocale::ShortFormat) + u' ' +
         locale.toString(when.time(), QLocale::ShortFormat);
}

}  // namespace

std::uint32_t Crc32Chunk(const unsigned char* data, std::size_t size, std::uint32_t previous) {
  std::uint32_t r = 0xFFFFFFFFu;
  for (std::size_t i = 0; i < size; ++i) r = CrcStep(r, data[i]);
  for (int shift = 24; shift >= 0; shift -= 8)
    r = CrcStep(r, static_cast<unsigned char>((previous >> shift) & 0xFF));
  return r;
}

std::uint32_t FileCrc32(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly))
    throw EKelFileRead("Cannot open " + path.toStdString() + ": " + file.errorString().toStdString());
  std::vector<unsigned char> chunk(Crc32ChunkSize);
  std::uint32_t result = 0;
  for (;;) {
    std::size_t filled = 0;
    while (filled < chunk.size()) {
      const qint64 got = file.read(reinterpret_cast<char*>(chunk.data() + filled),
                                   static_cast<qint64>(chunk.size() - filled));
      if (got < 0)
        throw EKelFileRead("Cannot read " + path.toStdString() + ": " + file.errorString().toStdString());
      if (got == 0) break;
      filled += static_cast<std::size_t>(got);
    }
    if (filled == 0) break;
    result = Crc32Chunk(chunk.data(), filled, result);
    if (filled < chunk.size()) break;
  }
  return result;
}

QString ThousandsText(long long value) {
  QString digits = QString::number(value < 0 ? -static_cast<unsigned long long>(value)
                                             : static_cast<unsigned long long>(value));
  for (qsizetype pos = digits.size() - 3; pos > 0; pos -= 3) digits.insert(pos, u'.');
  return value < 0 ? u'-' + digits : digits;
}

QString MakerHomepage() { return QStringLiteral("https://www.quenvar.de"); }

QPixmap MakerLogo() {
  InitShellResources();
  return QPixmap(QStringLiteral(":/zymra/logo.png"));
}

QFont FormFont(int pixels, bool bold) {
  QFont font(QStringLiteral("Verdana"));
  font.setPixelSize(pixels);
  font.setBold(bold);
  return font;
}

QLabel* AddLogoBand(QWidget* form, int width, int logoLeft) {
  auto* band = new QWidget(form);
  band->setGeometry(0, 0, width, 65);
  band->setAutoFillBackground(true);
  QPalette white = band->palette();
  white.setColor(QPalette::Window, Qt::white);
  band->setPalette(white);
  auto* logo = new QLabel(band);
  logo->setObjectName(QStringLiteral("Image1"));
  logo->setGeometry(logoLeft, 16, 193, 34);
  logo->setPixmap(MakerLogo());
  return logo;
}

TFrmAbout::TFrmAbout(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("FrmAbout"));
  setWindowTitle(QStringLiteral("Info"));
  setFixedSize(518, 342);
  setFont(FormFont(11));

  Image1 = AddLogoBand(this, 518, 308);

  PageControl = new QTabWidget(this);
  PageControl->setObjectName(QStringLiteral("PageControl"));
  PageControl->setGeometry(20, 84, 481, 197);

  TshInfo = new QWidget;
  TshInfo->setObjectName(QStringLiteral("TshInfo"));
  LblAppTitle = MakeLabel(TshInfo, QStringLiteral("LblAppTitle"), QString(), 16, 12, 440);
  LblAppTitle->setFont(FormFont(21, true));
  LblAppTitle->setFixedHeight(30);
  Label5 = MakeLabel(TshInfo, QStringLiteral("Label5"), QStringLiteral("Version"), 16, 58, 70, true);
  LblVersion = MakeLabel(TshInfo, QStringLiteral("LblVersion"), QString(), 90, 58, 360);
  Label2 = MakeLabel(TshInfo, QStringLiteral("Label2"), QStringLiteral("Quenvar"), 16, 90, 300);
  Label4 = MakeLabel(TshInfo, QStringLiteral("Label4"), QStringLiteral("Software Engineering"), 16,
                     108, 300);
  LblHomepage = new TPaxHyperlinkLabel(TshInfo);
  LblHomepage->setObjectName(QStringLiteral("LblHomepage"));
  LblHomepage->setGeometry(16, 134, 300, 18);
  LblHomepage->setText(MakerHomepage());
  LblHomepage->SetURL(MakerHomepage());
  PageControl->addTab(TshInfo, QStringLiteral("&Info"));

  TshVersionInfo = new QWidget;
  TshVersionInfo->setObjectName(QStringLiteral("TshVersionInfo"));
  const QString captions[] = {QStringLiteral("Version"),   QStringLiteral("Exe-Pfad"),
                              QStringLiteral("Exe-Name"),  QStringLiteral("Exe-Datum"),
                              QStringLiteral("Exe-Größe"), QStringLiteral("Exe-CRC32")};
  QLabel** values[] = {&LblVersion2, &LblExePath, &LblExeName, &LblExeDateTime, &LblExeSize, &LblExeCrc32};
  const QString names[] = {QStringLiteral("LblVersion2"),    QStringLiteral("LblExePath"),
                           QStringLiteral("LblExeName"),     QStringLiteral("LblExeDateTime"),
                           QStringLiteral("LblExeSize"),     QStringLiteral("LblExeCrc32")};
  for (int i = 0; i < 6; ++i) {
    const int y = 10 + 20 * i;
    MakeLabel(TshVersionInfo, QStringLiteral("Label%1").arg(6 + i), captions[i], 12, y, 84, true);
    *values[i] = MakeLabel(TshVersionInfo, names[i], QString(), 100, y, 365);
    (*values[i])->setTextInteractionFlags(Qt::TextSelectableByMouse);
  }
  BtnCopyVersionInfo = new QPushButton(QStringLiteral("&Kopieren"), TshVersionInfo);
  BtnCopyVersionInfo->setObjectName(QStringLiteral("BtnCopyVersionInfo"));
  BtnCopyVersionInfo->setToolTip(QStringLiteral("Versions-Informationen in Zwischenablage kopieren"));
  BtnCopyVersionInfo->setGeometry(375, 136, 90, 25);
  BtnCopyVersionInfo->setAutoDefault(false);
  connect(BtnCopyVersionInfo, &QPushButton::clicked, this, &TFrmAbout::BtnCopyVersionInfoClick);
  PageControl->addTab(TshVersionInfo, QStringLiteral("&Versions-Info"));

  TshExtInfo = new QWidget;
  TshExtInfo->setObjectName(QStringLiteral("TshExtInfo"));
  MmoExtInfo = new QPlainTextEdit(TshExtInfo);
  MmoExtInfo->setObjectName(QStringLiteral("MmoExtInfo"));
  MmoExtInfo->setReadOnly(true);
  MmoExtInfo->setLineWrapMode(QPlainTextEdit::NoWrap);
  MmoExtInfo->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  MmoExtInfo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  QPalette face = MmoExtInfo->palette();
  face.setColor(QPalette::Base, face.color(QPalette::Button));
  MmoExtInfo->setPalette(face);
  auto* extLayout = new QVBoxLayout(TshExtInfo);
  extLayout->setContentsMargins(6, 6, 6, 6);
  extLayout->addWidget(MmoExtInfo);
  PageControl->addTab(TshExtInfo, QStringLiteral("&Weitere Informationen"));

  BtnOK = new QPushButton(QStringLiteral("OK"), this);
  BtnOK->setObjectName(QStringLiteral("BtnOK"));
  BtnOK->setGeometry(236, 300, 75, 25);
  BtnOK->setDefault(true);
  connect(BtnOK, &QPushButton::clicked, this, &QDialog::accept);
  // Escape presses OK as well: the box has nothing to cancel.
  auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
  connect(escape, &QShortcut::activated, BtnOK, &QPushButton::click);
}

void TFrmAbout::Fill(const QString& title, const QString& version, const QString& furtherInfo,
                     const QString& exeFile) {
  LblAppTitle->setText(title);
  LblVersion->setText(version);
  LblVersion2->setText(version);

  const QFileInfo file(exeFile);
  const QString folder = QDir::toNativeSeparators(file.absolutePath()) + QDir::separator();
  const QString name = file.fileName();
  // A missing file shows the epoch of the date type and the size -1.
  const QDateTime when = file.exists() ? file.lastModified()
                                       : QDateTime(QDate(1899, 12, 30), QTime(0, 0));
  const QString date = DateTimeText(when);
  const QString size = ThousandsText(file.exists() ? file.size() : -1);
  const QString crc = QStringLiteral("%1").arg(FileCrc32(exeFile), 8, 16, QLatin1Char('0')).toUpper();
  LblExePath->setText(folder);
  LblExeName->setText(name);
  LblExeDateTime->setText(date);
  LblExeSize->setText(size + QStringLiteral(" Bytes"));
  LblExeCrc32->setText(crc);

  const QString crlf = QStringLiteral("\r\n");
  VersionInfoText = title + crlf + QStringLiteral("Version  : ") + version + crlf +
                    QStringLiteral("Exe-Pfad : ") + folder + crlf + QStringLiteral("Exe-Name : ") +
                    name + crlf + QStringLiteral("Exe-Datum: ") + date + crlf +
                    QStringLiteral("Exe-Größe: ") + size + QStringLiteral(" Bytes") + crlf +
                    QStringLiteral("Exe-CRC32: ") + crc + crlf;

  PageControl->setTabVisible(PageControl->indexOf(TshExtInfo), !furtherInfo.isEmpty());
  MmoExtInfo->setPlainText(furtherInfo);
}

void TFrmAbout::BtnCopyVersionInfoClick() {
  QApplication::clipboard()->setText(VersionInfoText);
  QApplication::beep();
}

int ShowAbout(const QString& title, const QString& version, const QString& furtherInfo,
              QWidget* parent, const std::function<int(TFrmAbout&)>& showModal) {
  auto form = std::make_unique<TFrmAbout>(parent);
  form->Fill(title, version, furtherInfo, QCoreApplication::applicationFilePath());
  form->PageControl->setCurrentIndex(0);
  return showModal ? showModal(*form) : form->exec();
}
