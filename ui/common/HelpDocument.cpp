#include "ui/common/HelpDocument.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QMessageBox>
#include <QUrl>

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
    roots << QStringLiteral(TARNHELM_DATADIR);
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

} // namespace HelpDocument

void openHelpDocument()
{
    const QString found = HelpDocument::locate();
    if (found.isEmpty()) {
        const QString expected = QFileInfo(HelpDocument::relativePath()).absoluteFilePath();
        QMessageBox::critical(nullptr, QStringLiteral("Help"),
            QStringLiteral("No help documentation was found at %1.").arg(expected));
        return;
    }
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(found))) {
        QMessageBox::warning(nullptr, QStringLiteral("Help"),
            QStringLiteral("The help documentation at %1 could not be opened.").arg(found));
    }
}
