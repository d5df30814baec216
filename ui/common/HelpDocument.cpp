#include "ui/common/HelpDocument.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QMessageBox>
#include <QProcess>
#include <QStandardPaths>
#include <QTabWidget>
#include <QUrl>
#include <QWidget>

namespace HelpDocument {

QString relativePath()
{
    return QStringLiteral("Help/TARN_Help.pdf");
}

QStringList searchRoots()
{
    QStringList roots { QDir::currentPath() };
    if (QCoreApplication::instance()) {
        const QString appDir = QCoreApplication::applicationDirPath();
        roots << appDir << QDir(appDir).filePath(QStringLiteral("../share/tarnhelm"));
    }
    // The installed copy, then the one the build printed (a program started from the build
    // folder, from anywhere).
    roots << QStringLiteral(TARNHELM_DATADIR) << QStringLiteral(TARNHELM_BUILD_DEMO_DIR);
    return roots;
}

QString locate()
{
    const QStringList roots = searchRoots();
    for (const QString& root : roots) {
        const QFileInfo info(QDir(root).filePath(relativePath()));
        if (info.exists() && info.isFile())
            return info.absoluteFilePath();
    }
    return {};
}

QString sectionFor(const QWidget* window)
{
    if (!window)
        return {};
    static const QHash<QString, QString> byForm {
        { QStringLiteral("BaselineWidgets"), QStringLiteral("The Baseline") },
        { QStringLiteral("AttributeWidgets"), QStringLiteral("Attributes") },
        { QStringLiteral("AggDivWidgets"), QStringLiteral("The site dialog") },
        { QStringLiteral("WaterUserWidgets"), QStringLiteral("The water user dialog") },
        { QStringLiteral("ExplainWidgets"), QStringLiteral("Explaining a value") },
        { QStringLiteral("TimeRangeWidgets"), QStringLiteral("Time range") },
        { QStringLiteral("PasswordConfigWidgets"), QStringLiteral("Password") },
        { QStringLiteral("ScenarioWidgets"), QStringLiteral("The scenario dialog") },
        { QStringLiteral("ChangeSpecWidgets"), QStringLiteral("The change dialog") },
        { QStringLiteral("WaterUserSelectorWidgets"), QStringLiteral("The change dialog") },
        { QStringLiteral("PlotWidgets"), QStringLiteral("Stored plots") },
        { QStringLiteral("CurveWidgets"), QStringLiteral("Stored plots") },
        { QStringLiteral("PlotDisplayWidgets"), QStringLiteral("The chart window") },
        { QStringLiteral("WorkbookDiffWidgets"), QStringLiteral("Comparing two workbooks") },
        { QStringLiteral("CheckReportWidgets"), QStringLiteral("The project check") },
    };
    const auto found = byForm.constFind(window->objectName());
    if (found != byForm.constEnd())
        return *found;
    if (const auto* tabs = window->findChild<QTabWidget*>(QStringLiteral("_mainTabWidget"))) {
        static const QStringList byTab { QStringLiteral("The main window"),
            QStringLiteral("The Baseline"), QStringLiteral("Scenarios"), QStringLiteral("Plots"),
            QStringLiteral("Exports") };
        return byTab.value(tabs->currentIndex());
    }
    return {};
}

int sectionPage(const QString& path, const QString& heading)
{
    if (heading.isEmpty())
        return 0;
    const QFileInfo pdf(path);
    QFile index(pdf.dir().filePath(pdf.completeBaseName() + QStringLiteral(".sections")));
    if (!index.open(QIODevice::ReadOnly | QIODevice::Text))
        return 0;
    while (!index.atEnd()) {
        const QString line = QString::fromUtf8(index.readLine()).trimmed();
        const int tab = line.indexOf(QLatin1Char('\t'));
        if (tab > 0 && line.mid(tab + 1).compare(heading, Qt::CaseInsensitive) == 0)
            return line.left(tab).toInt();
    }
    return 0;
}

QStringList viewerArguments(const QString& program, const QString& path, int page)
{
    const QString name = QFileInfo(program).fileName();
    const QString number = QString::number(page);
    if (name == QLatin1String("evince") || name == QLatin1String("atril")
        || name == QLatin1String("xreader"))
        return { QStringLiteral("--page-index=%1").arg(number), path };
    if (name == QLatin1String("okular"))
        return { QStringLiteral("--page"), number, path };
    if (name == QLatin1String("zathura"))
        return { QStringLiteral("--page=%1").arg(number), path };
    if (name == QLatin1String("qpdfview"))
        return { QStringLiteral("%1#%2").arg(path, number) };
    return {};
}

} // namespace HelpDocument

void openHelpDocument(const QString& section)
{
    const QString found = HelpDocument::locate();
    if (found.isEmpty()) {
        const QString expected = QFileInfo(HelpDocument::relativePath()).absoluteFilePath();
        QMessageBox::critical(nullptr, QStringLiteral("Help"),
            QStringLiteral("No help documentation was found at %1.").arg(expected));
        return;
    }
    // The desktop's own opener knows no pages: a viewer that does opens at the section.
    const int page = HelpDocument::sectionPage(found, section);
    if (page > 0) {
        for (const char* viewer :
            { "evince", "okular", "atril", "xreader", "zathura", "qpdfview" }) {
            const QString program = QStandardPaths::findExecutable(QString::fromLatin1(viewer));
            if (!program.isEmpty()
                && QProcess::startDetached(
                    program, HelpDocument::viewerArguments(program, found, page)))
                return;
        }
    }
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(found))) {
        QMessageBox::warning(nullptr, QStringLiteral("Help"),
            QStringLiteral("The help documentation at %1 could not be opened.").arg(found));
    }
}
