#include "ui/common/HelpDocument.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QtTest>

namespace {

QString helpPdf()
{
    return QFileInfo(QStringLiteral(TARNHELM_HELP_PDF)).absoluteFilePath();
}

QStringList chapterPaths()
{
    QStringList paths;
    const QStringList chapters
        = QStringLiteral(TARNHELM_GUIDE_CHAPTERS).split(QLatin1Char('|'), Qt::SkipEmptyParts);
    for (const QString& chapter : chapters)
        paths << QDir(QStringLiteral(TARNHELM_DOCS_DIR)).filePath(chapter);
    return paths;
}

QString readText(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll());
}

// Headings as a reader sees them: without the leading hashes and inline markup.
QStringList headings(const QString& markdown)
{
    QStringList found;
    static const QRegularExpression heading(
        QStringLiteral("^(#{1,3})\\s+(.+?)\\s*$"), QRegularExpression::MultilineOption);
    auto it = heading.globalMatch(markdown);
    while (it.hasNext()) {
        QString text = it.next().captured(2);
        text.remove(QLatin1Char('`')).remove(QLatin1Char('*'));
        found << text;
    }
    return found;
}

// Text runs split at line and page ends, and the writer's fonts set "fi" and "fl" as
// ligatures, which the extraction returns as single characters.
QString squeeze(const QString& text)
{
    return text.normalized(QString::NormalizationForm_KC).simplified();
}

QString run(const QString& program, const QStringList& args, const QString& workDir = QString(),
    int* exitCode = nullptr)
{
    QProcess process;
    if (!workDir.isEmpty())
        process.setWorkingDirectory(workDir);
    process.start(program, args);
    if (!process.waitForFinished(120000)) {
        if (exitCode)
            *exitCode = -1;
        return QString::fromLocal8Bit(process.readAllStandardError());
    }
    if (exitCode)
        *exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    return QString::fromUtf8(process.readAllStandardOutput());
}

} // namespace

class TestHelpDocument : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY2(QFileInfo::exists(helpPdf()), qPrintable(helpPdf()));
        QVERIFY(!chapterPaths().isEmpty());
    }

    void isAPdfFile()
    {
        QFile file(helpPdf());
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        QVERIFY(bytes.startsWith("%PDF-"));
        QVERIFY(bytes.right(64).contains("%%EOF"));
        // A guide with screenshots is far more than an empty page.
        QVERIFY2(bytes.size() > 100 * 1024, QByteArray::number(bytes.size()).constData());
    }

    void containsEveryHeading_data()
    {
        QTest::addColumn<QString>("heading");
        int count = 0;
        const QStringList paths = chapterPaths();
        for (const QString& path : paths) {
            const QString text = readText(path);
            QVERIFY2(!text.isEmpty(), qPrintable(path));
            const QStringList found = headings(text);
            for (const QString& heading : found)
                QTest::newRow(qPrintable(
                    QStringLiteral("%1: %2").arg(QFileInfo(path).fileName()).arg(++count)))
                    << heading;
        }
        QVERIFY(count > 20);
    }
    void containsEveryHeading()
    {
        QFETCH(QString, heading);
        static QString text;
        if (text.isEmpty()) {
            if (QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty())
                QSKIP("pdftotext (poppler-utils) is not installed");
            int code = 0;
            text = squeeze(run(QStringLiteral("pdftotext"),
                { QStringLiteral("-enc"), QStringLiteral("UTF-8"), helpPdf(), QStringLiteral("-") },
                QString(), &code));
            QCOMPARE(code, 0);
        }
        QVERIFY2(text.contains(squeeze(heading)), qPrintable(heading));
    }

    // Every screenshot the chapters show is printed: none is silently left out.
    void containsEveryScreenshot()
    {
        if (QStandardPaths::findExecutable(QStringLiteral("pdfimages")).isEmpty())
            QSKIP("pdfimages (poppler-utils) is not installed");
        int referenced = 0;
        static const QRegularExpression image(QStringLiteral("!\\[[^\\]]*\\]\\(([^)]+\\.png)\\)"));
        const QStringList paths = chapterPaths();
        for (const QString& path : paths) {
            auto it = image.globalMatch(readText(path));
            while (it.hasNext()) {
                const QString name = it.next().captured(1);
                QVERIFY2(QFileInfo::exists(
                             QDir(QStringLiteral(TARNHELM_BUILD_DIR "/docs")).filePath(name)),
                    qPrintable(name));
                ++referenced;
            }
        }
        QVERIFY(referenced >= 10);
        int code = 0;
        const QString list
            = run(QStringLiteral("pdfimages"), { QStringLiteral("-list"), helpPdf() }, {}, &code);
        QCOMPARE(code, 0);
        // Two header lines, then one line per image (an image with transparency adds its mask).
        int printed = 0;
        const QStringList lines = list.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        for (const QString& line : lines.mid(2)) {
            if (line.simplified().section(QLatin1Char(' '), 2, 2) == QLatin1String("image"))
                ++printed;
        }
        QCOMPARE(printed, referenced);
    }

    // The help button resolves "Help/TARN_Help.pdf" against the working directory first: the
    // program started from build/demo (make run) opens the built guide.
    void foundFromTheDemoFolder()
    {
        const QString saved = QDir::currentPath();
        QVERIFY(QDir::setCurrent(QStringLiteral(TARNHELM_BUILD_DIR "/demo")));
        const QString found = HelpDocument::locate();
        QDir::setCurrent(saved);
        QCOMPARE(QFileInfo(found).canonicalFilePath(), QFileInfo(helpPdf()).canonicalFilePath());
    }

    // Installed, the program is started from anywhere: it finds the guide beside itself in
    // share/tarnhelm, and the desktop entry and icons are where desktops look for them.
    void installedTree_data()
    {
        QTest::addColumn<QString>("relativePath");
        QTest::newRow("program") << QStringLiteral("bin/tarnhelm");
        QTest::newRow("command-line tool") << QStringLiteral("bin/tarnhelm-cli");
        QTest::newRow("schema") << QStringLiteral("share/tarnhelm/project.sql");
        QTest::newRow("help") << QStringLiteral("share/tarnhelm/Help/TARN_Help.pdf");
        QTest::newRow("desktop entry") << QStringLiteral("share/applications/tarnhelm.desktop");
        for (const int size : { 16, 32, 48, 64, 256 })
            QTest::newRow(qPrintable(QStringLiteral("icon %1").arg(size)))
                << QStringLiteral("share/icons/hicolor/%1x%1/apps/tarnhelm.png").arg(size);
    }
    void installedTree()
    {
        QFETCH(QString, relativePath);
        QVERIFY(installed());
        QVERIFY2(QFileInfo(QDir(_prefix.path()).filePath(relativePath)).isFile(),
            qPrintable(relativePath));
    }

    void installedProgramFindsItsHelp()
    {
        QVERIFY(installed());
        const QDir prefix(_prefix.path());
        const QString helper = prefix.filePath(QStringLiteral("bin/tarnhelm-helplocate"));
        QFile::remove(helper);
        QVERIFY(QFile::copy(QStringLiteral(TARNHELM_HELPLOCATE), helper));
        QTemporaryDir elsewhere;
        int code = 0;
        const QString found = run(helper, {}, elsewhere.path(), &code).trimmed();
        QCOMPARE(code, 0);
        QCOMPARE(QFileInfo(found).canonicalFilePath(),
            QFileInfo(prefix.filePath(QStringLiteral("share/tarnhelm/Help/TARN_Help.pdf")))
                .canonicalFilePath());
    }

    void desktopEntryStartsTheProgram()
    {
        QVERIFY(installed());
        const QString entry = readText(
            QDir(_prefix.path()).filePath(QStringLiteral("share/applications/tarnhelm.desktop")));
        QVERIFY(entry.startsWith(QLatin1String("[Desktop Entry]")));
        QVERIFY(entry.contains(QLatin1String("\nType=Application\n")));
        QVERIFY(entry.contains(QLatin1String("\nExec=tarnhelm\n")));
        QVERIFY(entry.contains(QLatin1String("\nIcon=tarnhelm\n")));
    }

    // A program started from the build folder finds the guide the build printed, from any
    // working folder.
    void builtProgramFindsItsHelp()
    {
        QTemporaryDir elsewhere;
        int code = 0;
        const QString found
            = run(QStringLiteral(TARNHELM_HELPLOCATE), {}, elsewhere.path(), &code).trimmed();
        QCOMPARE(code, 0);
        QCOMPARE(QFileInfo(found).canonicalFilePath(), QFileInfo(helpPdf()).canonicalFilePath());
    }

    // F1 and the help buttons open the guide at the window's section: each window names a
    // heading the index beside the document knows, on the page the reader finds it.
    void everyWindowHasItsSection_data()
    {
        QTest::addColumn<QString>("form");
        QTest::addColumn<int>("tab"); // of the main window; -1 for a dialog
        for (const char* form :
            { "BaselineWidgets", "AttributeWidgets", "AggDivWidgets", "WaterUserWidgets",
                "ExplainWidgets", "TimeRangeWidgets", "PasswordConfigWidgets", "ScenarioWidgets",
                "ChangeSpecWidgets", "WaterUserSelectorWidgets", "PlotWidgets", "CurveWidgets",
                "PlotDisplayWidgets", "WorkbookDiffWidgets", "CheckReportWidgets" })
            QTest::newRow(form) << QString::fromLatin1(form) << -1;
        for (int tab = 0; tab < 5; ++tab)
            QTest::newRow(qPrintable(QStringLiteral("main window, tab %1").arg(tab)))
                << QStringLiteral("TarnhelmClass") << tab;
    }
    void everyWindowHasItsSection()
    {
        QFETCH(QString, form);
        QFETCH(int, tab);
        QWidget window;
        window.setObjectName(form);
        if (tab >= 0) {
            auto* tabs = new QTabWidget(&window);
            tabs->setObjectName(QStringLiteral("_mainTabWidget"));
            for (int i = 0; i < 5; ++i)
                tabs->addTab(new QWidget, QString::number(i));
            tabs->setCurrentIndex(tab);
        }
        const QString section = HelpDocument::sectionFor(&window);
        QVERIFY(!section.isEmpty());
        const int page = HelpDocument::sectionPage(helpPdf(), section);
        QVERIFY2(page > 0, qPrintable(section));
        int code = 0;
        const QString text = run(QStringLiteral("pdftotext"),
            { QStringLiteral("-f"), QString::number(page), QStringLiteral("-l"),
                QString::number(page), helpPdf(), QStringLiteral("-") },
            QString(), &code);
        if (code != 0)
            QSKIP("pdftotext is not installed");
        QVERIFY2(squeeze(text).contains(squeeze(section)), qPrintable(section));
    }

    void viewersAreToldThePage_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QStringList>("arguments");
        const QString path = QStringLiteral("/h/TARN_Help.pdf");
        QTest::newRow("evince") << QStringLiteral("/usr/bin/evince")
                                << QStringList { QStringLiteral("--page-index=7"), path };
        QTest::newRow("okular") << QStringLiteral(
            "okular") << QStringList { QStringLiteral("--page"), QStringLiteral("7"), path };
        QTest::newRow("zathura") << QStringLiteral("zathura")
                                 << QStringList { QStringLiteral("--page=7"), path };
        QTest::newRow("unknown") << QStringLiteral("/usr/bin/firefox") << QStringList();
    }
    void viewersAreToldThePage()
    {
        QFETCH(QString, program);
        QFETCH(QStringList, arguments);
        QCOMPARE(HelpDocument::viewerArguments(program, QStringLiteral("/h/TARN_Help.pdf"), 7),
            arguments);
    }

private:
    // One install per run into a temporary prefix.
    bool installed()
    {
        if (_installTried)
            return _installOk;
        _installTried = true;
        int code = 0;
        const QString output = run(QStringLiteral(TARNHELM_CMAKE),
            { QStringLiteral("--install"), QStringLiteral(TARNHELM_BUILD_DIR),
                QStringLiteral("--prefix"), _prefix.path() },
            QString(), &code);
        _installOk = code == 0;
        if (!_installOk)
            qWarning("cmake --install failed: %s", qPrintable(output));
        return _installOk;
    }

    QTemporaryDir _prefix;
    bool _installTried = false;
    bool _installOk = false;
};

QTEST_MAIN(TestHelpDocument)
#include "tst_helpdocument.moc"
