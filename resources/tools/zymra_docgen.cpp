// Build-time generator of the documents that ship with the program:
//   zymra_docgen pdf SOURCE.html OUT.pdf [IMAGE_DIR]
//     lays out an HTML document with Qt's rich-text engine and writes it as an
//     A4 PDF with page numbers; images are looked up in IMAGE_DIR, then beside
//     the source.
//   zymra_docgen icons SOURCE.svg OUT_DIR SIZE...
//     renders the program icon as OUT_DIR/SIZExSIZE/zymra.png for every size.
// Needs no display: run it with QT_QPA_PLATFORM=offscreen.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QSvgRenderer>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextFormat>
#include <QUrl>

#include <cstdio>

namespace {

int Fail(const QString& message) {
  std::fprintf(stderr, "zymra_docgen: %s\n", qPrintable(message));
  return 1;
}

int MakePdf(const QString& source, const QString& target, const QString& imageDir) {
  QFile in(source);
  if (!in.open(QIODevice::ReadOnly)) return Fail(QStringLiteral("cannot read ") + source);
  const QString html = QString::fromUtf8(in.readAll());

  QTextDocument doc;
  QFont font(QStringLiteral("DejaVu Serif"));
  font.setPointSizeF(10.5);
  doc.setDefaultFont(font);
  const QString sourceDir = QFileInfo(source).absolutePath();
  doc.setMetaInformation(QTextDocument::DocumentUrl, QUrl::fromLocalFile(sourceDir + u'/').toString());
  // Images: the build folder's generated charts first, then the source's own.
  doc.setHtml(html);
  for (QTextBlock block = doc.begin(); block.isValid(); block = block.next()) {
    for (auto it = block.begin(); !it.atEnd(); ++it) {
      const QTextCharFormat format = it.fragment().charFormat();
      if (!format.isImageFormat()) continue;
      const QString name = format.toImageFormat().name();
      QImage image;
      for (const QString& dir : {imageDir, sourceDir})
        if (!dir.isEmpty() && image.load(QDir(dir).filePath(name))) break;
      if (image.isNull()) return Fail(QStringLiteral("missing image ") + name);
      doc.addResource(QTextDocument::ImageResource, QUrl(name), image);
    }
  }

  QDir().mkpath(QFileInfo(target).absolutePath());
  QPdfWriter writer(target);
  writer.setTitle(doc.metaInformation(QTextDocument::DocumentTitle));
  writer.setCreator(QStringLiteral("Zymra"));
  writer.setResolution(300);
  writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                                   QMarginsF(20, 18, 20, 18), QPageLayout::Millimeter));
  // print() lays the document out on the writer's pages and numbers them.
  doc.print(&writer);
  if (!QFileInfo(target).isFile() || QFileInfo(target).size() == 0)
    return Fail(QStringLiteral("could not write ") + target);
  return 0;
}

int MakeIcons(const QString& source, const QString& outDir, const QStringList& sizes) {
  QSvgRenderer svg(source);
  if (!svg.isValid()) return Fail(QStringLiteral("cannot read ") + source);
  for (const QString& text : sizes) {
    bool ok = false;
    const int size = text.toInt(&ok);
    if (!ok || size <= 0) return Fail(QStringLiteral("bad size ") + text);
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    svg.render(&p, QRectF(0, 0, size, size));
    p.end();
    const QString dir = QStringLiteral("%1/%2x%2").arg(outDir).arg(size);
    QDir().mkpath(dir);
    if (!image.save(dir + QStringLiteral("/zymra.png"))) return Fail(QStringLiteral("cannot write ") + dir);
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  QGuiApplication app(argc, argv);
  const QStringList args = app.arguments();
  if (args.size() >= 4 && args[1] == QStringLiteral("pdf"))
    return MakePdf(args[2], args[3], args.size() > 4 ? args[4] : QString());
  if (args.size() >= 5 && args[1] == QStringLiteral("icons")) return MakeIcons(args[2], args[3], args.mid(4));
  return Fail(QStringLiteral("usage: zymra_docgen pdf SOURCE.html OUT.pdf [IMAGE_DIR] | icons SOURCE.svg OUT_DIR SIZE..."));
}
