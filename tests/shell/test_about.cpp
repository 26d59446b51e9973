#include "KelCmpShell.h"
#include "KelFrmAbout.h"
#include "QtTestApp.h"

#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>

#include <vector>

namespace {

QString WriteFile(const QTemporaryDir& dir, const QString& name, const QByteArray& bytes) {
  const QString path = dir.filePath(name);
  QFile file(path);
  EXPECT_TRUE(file.open(QIODevice::WriteOnly));
  file.write(bytes);
  return path;
}

// Bytes that differ from position to position, so that chunks cannot look alike.
QByteArray Pattern(qsizetype size) {
  QByteArray bytes(size, Qt::Uninitialized);
  for (qsizetype i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 7 + i / 251) & 0xFF);
  return bytes;
}

TEST(FileChecksum, KnownValuesAndChunking) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  EXPECT_EQ(FileCrc32(WriteFile(dir, "abc", "abc")), 0xAD13F0CAu);
  EXPECT_EQ(FileCrc32(WriteFile(dir, "empty", "")), 0u);
  // One chunk: the register over the bytes, then four zero bytes shifted in.
  EXPECT_EQ(Crc32Chunk(reinterpret_cast<const unsigned char*>("abc"), 3, 0), 0xAD13F0CAu);

  const QByteArray mib = Pattern(static_cast<qsizetype>(Crc32ChunkSize));
  const std::uint32_t whole = FileCrc32(WriteFile(dir, "mib", mib));
  EXPECT_EQ(whole, Crc32Chunk(reinterpret_cast<const unsigned char*>(mib.constData()),
                              Crc32ChunkSize, 0));
  // One byte more: a second chunk of one byte with the first chunk's result shifted in.
  const std::uint32_t longer = FileCrc32(WriteFile(dir, "mib1", mib + QByteArray("Z")));
  const unsigned char z = 'Z';
  EXPECT_EQ(longer, Crc32Chunk(&z, 1, whole));
  EXPECT_NE(longer, whole);
  // Two full chunks end with the second one: a read that returns nothing adds nothing.
  const QByteArray two = mib + Pattern(static_cast<qsizetype>(Crc32ChunkSize)).toUpper();
  const std::uint32_t first = whole;
  EXPECT_EQ(FileCrc32(WriteFile(dir, "two", two)),
            Crc32Chunk(reinterpret_cast<const unsigned char*>(two.constData()) + Crc32ChunkSize,
                       Crc32ChunkSize, first));
}

TEST(FileChecksum, UnreadableFileRaises) {
  EXPECT_THROW(FileCrc32(QStringLiteral("/nonexistent/zymra.exe")), EKelFileRead);
  QTemporaryDir dir;
  EXPECT_THROW(FileCrc32(dir.path()), EKelFileRead);  // a folder is no file
}

TEST(AboutTexts, SizesAreGroupedWithDots) {
  EXPECT_EQ(ThousandsText(1164800), "1.164.800");
  EXPECT_EQ(ThousandsText(999), "999");
  EXPECT_EQ(ThousandsText(1000), "1.000");
  EXPECT_EQ(ThousandsText(0), "0");
  EXPECT_EQ(ThousandsText(-1), "-1");
  EXPECT_EQ(ThousandsText(-1234567), "-1.234.567");
}

struct AboutBoxTest : ::testing::Test {
  QTemporaryDir Dir;
  QString Exe;
  TFrmAbout Form;
  void SetUp() override {
    ASSERT_TRUE(Dir.isValid());
    Exe = WriteFile(Dir, "Zymra", Pattern(1164800));
  }
};

TEST_F(AboutBoxTest, FillsInfoAndVersionPages) {
  Form.Fill("Zymra Simulation", "1.0.2 (build 7)", QString(), Exe);
  EXPECT_EQ(Form.windowTitle(), "Info");
  EXPECT_EQ(Form.size(), QSize(518, 342));
  EXPECT_EQ(Form.LblAppTitle->text(), "Zymra Simulation");
  EXPECT_EQ(Form.LblVersion->text(), "1.0.2 (build 7)");
  EXPECT_EQ(Form.LblVersion2->text(), "1.0.2 (build 7)");
  EXPECT_EQ(Form.LblExeName->text(), "Zymra");
  EXPECT_EQ(Form.LblExePath->text(), QDir::toNativeSeparators(QFileInfo(Dir.path()).absoluteFilePath()) + "/");
  EXPECT_EQ(Form.LblExeSize->text(), "1.164.800 Bytes");
  const QString crc = QString::number(FileCrc32(Exe), 16).rightJustified(8, u'0').toUpper();
  EXPECT_EQ(Form.LblExeCrc32->text(), crc);
  EXPECT_EQ(Form.LblExeCrc32->text().size(), 8);
  const QDateTime when = QFileInfo(Exe).lastModified();
  const QString date = QLocale().toString(when.date(), QLocale::ShortFormat) + " " +
                       QLocale().toString(when.time(), QLocale::ShortFormat);
  EXPECT_EQ(Form.LblExeDateTime->text(), date);
  const QString folder = Form.LblExePath->text();
  EXPECT_EQ(Form.VersionInfoText,
            "Zymra Simulation\r\nVersion  : 1.0.2 (build 7)\r\nExe-Pfad : " + folder +
                "\r\nExe-Name : Zymra\r\nExe-Datum: " + date +
                QStringLiteral("\r\nExe-Größe: 1.164.800 Bytes\r\nExe-CRC32: ") + crc + "\r\n");
  EXPECT_EQ(Form.BtnCopyVersionInfo->text(), "&Kopieren");
  EXPECT_EQ(Form.BtnCopyVersionInfo->toolTip(), "Versions-Informationen in Zwischenablage kopieren");
  EXPECT_EQ(Form.PageControl->tabText(0), "&Info");
  EXPECT_EQ(Form.PageControl->tabText(1), "&Versions-Info");
  EXPECT_EQ(Form.PageControl->tabText(2), "&Weitere Informationen");
  EXPECT_EQ(Form.LblHomepage->URL(), Form.LblHomepage->text());
  EXPECT_EQ(Form.LblHomepage->toolTip(), Form.LblHomepage->text());
  EXPECT_FALSE(Form.Image1->pixmap().isNull());
  EXPECT_EQ(Form.Image1->pixmap().size(), QSize(193, 34));
}

TEST_F(AboutBoxTest, FurtherInformationPageOnlyWithText) {
  Form.Fill("Zymra Simulation", "1.0", QString(), Exe);
  EXPECT_FALSE(Form.PageControl->isTabVisible(2));
  Form.Fill("Zymra Simulation", "1.0", "Line one\nLine two", Exe);
  EXPECT_TRUE(Form.PageControl->isTabVisible(2));
  EXPECT_EQ(Form.MmoExtInfo->toPlainText(), "Line one\nLine two");
  EXPECT_TRUE(Form.MmoExtInfo->isReadOnly());
}

TEST_F(AboutBoxTest, CopyButtonPutsTheVersionTextOnTheClipboard) {
  Form.Fill("Zymra Simulation", "1.0", QString(), Exe);
  QApplication::clipboard()->setText("something else");
  QTest::mouseClick(Form.BtnCopyVersionInfo, Qt::LeftButton);
  EXPECT_EQ(QApplication::clipboard()->text(), Form.VersionInfoText);
  EXPECT_TRUE(QApplication::clipboard()->text().startsWith("Zymra Simulation\r\nVersion  : 1.0\r\n"));
}

TEST_F(AboutBoxTest, MissingProgramFileRaisesFromTheChecksum) {
  EXPECT_THROW(Form.Fill("Zymra Simulation", "1.0", QString(), Dir.filePath("gone")), EKelFileRead);
}

TEST_F(AboutBoxTest, RendersBothPages) {
  Form.Fill("Zymra Simulation", "1.0.2", "More text", Exe);
  Form.show();
  ASSERT_TRUE(Form.grab().save(QStringLiteral(ZYMRA_TEST_OUTPUT_DIR "/about_info.png")));
  Form.PageControl->setCurrentIndex(1);
  ASSERT_TRUE(Form.grab().save(QStringLiteral(ZYMRA_TEST_OUTPUT_DIR "/about_versions.png")));
  // The white band at the top and the logo in it.
  const QImage image = Form.grab().toImage();
  EXPECT_EQ(image.pixelColor(5, 5), QColor(Qt::white));
  EXPECT_EQ(image.pixelColor(5, 70), Form.palette().color(QPalette::Window));
}

TEST(ShowAboutBox, DescribesTheRunningProgramOnTheFirstPage) {
  int shown = 0;
  const int result = ShowAbout("Zymra Simulation", "1.0.2", QString(), nullptr, [&](TFrmAbout& form) {
    ++shown;
    EXPECT_EQ(form.PageControl->currentIndex(), 0);
    EXPECT_EQ(form.LblExeName->text(), QFileInfo(QCoreApplication::applicationFilePath()).fileName());
    EXPECT_EQ(form.LblExeCrc32->text(),
              QString::number(FileCrc32(QCoreApplication::applicationFilePath()), 16)
                  .rightJustified(8, u'0')
                  .toUpper());
    return 42;
  });
  EXPECT_EQ(shown, 1);
  EXPECT_EQ(result, 42);
}

TEST(HyperlinkLabel, HintFollowsTheUrlUntilSetOtherwise) {
  TPaxHyperlinkLabel label;
  EXPECT_TRUE(label.font().underline());
  EXPECT_EQ(label.palette().color(QPalette::WindowText), QColor(Qt::blue));
  EXPECT_EQ(label.cursor().shape(), Qt::PointingHandCursor);
  label.SetURL("https://a.example");
  EXPECT_EQ(label.toolTip(), "https://a.example");
  label.SetURL("https://b.example");
  EXPECT_EQ(label.toolTip(), "https://b.example");
  label.setToolTip("Our home page");
  label.SetURL("https://c.example");
  EXPECT_EQ(label.toolTip(), "Our home page");
  EXPECT_EQ(label.URL(), "https://c.example");
}

TEST(HyperlinkLabel, ClickOpensTheUrlUnlessAHandlerIsSet) {
  std::vector<QString> opened;
  const TShellOpenHandler previous = SetShellOpenHandler([&](const QString& target) {
    opened.push_back(target);
    return true;
  });
  TPaxHyperlinkLabel label;
  label.setText("link");
  label.resize(80, 20);
  QTest::mouseClick(&label, Qt::LeftButton);
  EXPECT_TRUE(opened.empty());  // no URL: nothing to open
  label.SetURL("https://www.example.org");
  QTest::mouseClick(&label, Qt::LeftButton);
  ASSERT_EQ(opened.size(), 1u);
  EXPECT_EQ(opened[0], "https://www.example.org");
  int handled = 0;
  label.OnClick = [&] { ++handled; };
  QTest::mouseClick(&label, Qt::LeftButton);
  EXPECT_EQ(handled, 1);
  EXPECT_EQ(opened.size(), 1u);
  QTest::mouseClick(&label, Qt::RightButton);
  EXPECT_EQ(handled, 1);
  SetShellOpenHandler(previous);
}

}  // namespace
