#include "XmlCheck.h"

#include <QProcess>
#include <QStringList>

QString xmlWellFormedProblem(const QString& path)
{
    static const QString script = QStringLiteral("import sys, xml.dom.minidom\n"
                                                 "try:\n"
                                                 "    xml.dom.minidom.parse(sys.argv[1])\n"
                                                 "except Exception as e:\n"
                                                 "    print('%s: %s' % (type(e).__name__, e))\n"
                                                 "    sys.exit(1)\n");
    QProcess python;
    python.start(QStringLiteral("/usr/bin/python3"), { QStringLiteral("-c"), script, path });
    if (!python.waitForFinished(60000))
        return QStringLiteral("python3 did not run: %1").arg(python.errorString());
    if (python.exitStatus() != QProcess::NormalExit || python.exitCode() != 0) {
        const QString out = QString::fromUtf8(python.readAllStandardOutput()).trimmed();
        const QString err = QString::fromUtf8(python.readAllStandardError()).trimmed();
        return QStringLiteral("%1 is not well-formed XML: %2").arg(path, out.isEmpty() ? err : out);
    }
    return {};
}
