// Turns the user guide's Markdown chapters into the help document with Qt's own PDF writer.
// Images are resolved against IMAGE_BASE and scaled down to the page width; every chapter
// (a level-one heading) starts on a new page. Beside the document goes its index of sections
// (OUTPUT with the suffix ".sections": a line "page<TAB>heading" per heading), by which the
// program opens the guide at the section of the window the planner asks help for.
//
// Usage: tarnhelm-helppdf OUTPUT.pdf IMAGE_BASE CHAPTER.md...

#include <QAbstractTextDocumentLayout>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImageReader>
#include <QPageLayout>
#include <QPageSize>
#include <QPdfWriter>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextStream>
#include <QUrl>

namespace {

// Width in the document's logical pixels (96 per inch) left between the 2 cm margins that
// QTextDocument::print keeps on an A4 page, less a little air.
constexpr double MaxImageWidth = 600.0;

QString readAll(const QString& path, QString& error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        error = QStringLiteral("Cannot read %1: %2").arg(path, file.errorString());
        return {};
    }
    return QString::fromUtf8(file.readAll());
}

// Gives every image its natural size, scaled down to fit the page; returns the images that
// could not be read.
QStringList fitImages(QTextDocument& doc, const QDir& base)
{
    QStringList missing;
    for (QTextBlock block = doc.begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            if (!fragment.charFormat().isImageFormat())
                continue;
            QTextImageFormat image = fragment.charFormat().toImageFormat();
            const QString file = base.filePath(image.name());
            const QSize size = QImageReader(file).size();
            if (!size.isValid()) {
                missing << image.name();
                continue;
            }
            const double scale = qMin(1.0, MaxImageWidth / size.width());
            image.setWidth(size.width() * scale);
            image.setHeight(size.height() * scale);
            QTextCursor cursor(&doc);
            cursor.setPosition(fragment.position());
            cursor.setPosition(fragment.position() + fragment.length(), QTextCursor::KeepAnchor);
            cursor.setCharFormat(image);
        }
    }
    return missing;
}

void breakBeforeChapters(QTextDocument& doc)
{
    bool first = true;
    for (QTextBlock block = doc.begin(); block.isValid(); block = block.next()) {
        if (block.blockFormat().headingLevel() != 1)
            continue;
        if (!first) {
            QTextBlockFormat format = block.blockFormat();
            format.setPageBreakPolicy(QTextFormat::PageBreak_AlwaysBefore);
            QTextCursor(block).setBlockFormat(format);
        }
        first = false;
    }
}

// The page each heading lands on, in the document's own pagination.
QString sectionIndex(QTextDocument& doc)
{
    const qreal pageHeight = doc.pageSize().height();
    QString index;
    for (QTextBlock block = doc.begin(); block.isValid(); block = block.next()) {
        if (block.blockFormat().headingLevel() < 1)
            continue;
        const qreal top = doc.documentLayout()->blockBoundingRect(block).top();
        const int page = static_cast<int>(top / pageHeight) + 1;
        index += QStringLiteral("%1\t%2\n").arg(page).arg(block.text().simplified());
    }
    return index;
}

// Writes path through a file beside it, so that a failed run never leaves half a file.
bool writeWhole(const QString& path, const QByteArray& bytes)
{
    const QString partial = path + QStringLiteral(".part");
    QFile file(partial);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        return false;
    file.close();
    QFile::remove(path);
    return QFile::rename(partial, path);
}

} // namespace

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    QTextStream err(stderr);
    const QStringList args = QCoreApplication::arguments().mid(1);
    if (args.size() < 3) {
        err << "Usage: tarnhelm-helppdf OUTPUT.pdf IMAGE_BASE CHAPTER.md...\n";
        return 2;
    }
    const QString output = args.at(0);
    const QDir base(args.at(1));

    QString markdown;
    for (int i = 2; i < args.size(); ++i) {
        QString error;
        const QString chapter = readAll(args.at(i), error);
        if (!error.isEmpty()) {
            err << error << "\n";
            return 1;
        }
        markdown += chapter + QStringLiteral("\n\n");
    }

    QTextDocument doc;
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPointSizeF(10);
    doc.setDefaultFont(font);
    doc.setBaseUrl(QUrl::fromLocalFile(base.absolutePath() + QLatin1Char('/')));
    doc.setMarkdown(markdown, QTextDocument::MarkdownDialectGitHub);
    doc.setMetaInformation(QTextDocument::DocumentTitle, QStringLiteral("Tarnhelm User Guide"));

    const QStringList missing = fitImages(doc, base);
    if (!missing.isEmpty()) {
        err << "Images not found under " << base.absolutePath() << ": "
            << missing.join(QStringLiteral(", ")) << "\n";
        return 1;
    }
    breakBeforeChapters(doc);

    QDir().mkpath(QFileInfo(output).absolutePath());
    // Written beside the target and renamed, so that a failed run never leaves half a file
    // where the help button looks.
    const QString partial = output + QStringLiteral(".part");
    {
        QPdfWriter writer(partial);
        writer.setTitle(QStringLiteral("Tarnhelm User Guide"));
        writer.setCreator(QStringLiteral("Tarnhelm"));
        writer.setPageSize(QPageSize(QPageSize::A4));
        writer.setPageMargins(QMarginsF(20, 20, 20, 20), QPageLayout::Millimeter);
        writer.setResolution(300);
        // The document is paginated as the page prints it (in its own 96 pixels an inch), so
        // that the index names the pages the reader sees.
        const QRectF page = writer.pageLayout().paintRectPixels(writer.resolution());
        doc.setPageSize(page.size() * 96.0 / writer.resolution());
        const QString index = sectionIndex(doc);
        if (!writeWhole(QFileInfo(output).path() + QLatin1Char('/')
                    + QFileInfo(output).completeBaseName() + QStringLiteral(".sections"),
                index.toUtf8())) {
            err << "Cannot write the section index beside " << output << "\n";
            return 1;
        }
        doc.print(&writer);
    }
    QFile::remove(output);
    if (!QFile::rename(partial, output)) {
        err << "Cannot write " << output << "\n";
        return 1;
    }
    return 0;
}
