#include "ProjectState.h"

#include "db/ProjectFile.h"
#include "db/TarnDbMgr.h"
#include "support/BookReader.h"
#include "support/TestProject.h"
#include "support/XmlCheck.h"
#include "workbook/SheetCells.h"

#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QThread>
#include <QXmlStreamReader>
#include <QtTest>

#include <algorithm>
#include <cmath>

using ProjectState::Digests;

// tarnhelm-cli killed with SIGKILL at random points of a recalculation or an export: the project
// keeps each calculation's previous or new results, never a mix within one, and an existing
// workbook or XML file is the old one or a complete new one.
class TestKilledCli : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void killDuringRecalc();
    void killDuringExport_data();
    void killDuringExport();
    void cleanup() { resetDbManager(); }

private:
    QString copy(const QString& from, const QString& name);
    bool changeInputs(const QString& path);
    // Starts the tool and kills it after a random part of the given duration; true when it was
    // still running at that moment.
    bool runAndKill(const QStringList& args, qint64 durationMs);

    QTemporaryDir _dir;
    QString _oldProject; // results computed
    QString _newProject; // inputs changed, results recomputed
    qint64 _recalcMs = 0;
    QRandomGenerator _random { 20261208 };
};

namespace {

const int Rounds = 6;

QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The XML file without its creation time stamp.
QByteArray xmlBody(const QByteArray& xml)
{
    QList<QByteArray> lines = xml.split('\n');
    lines.erase(
        std::remove_if(lines.begin(), lines.end(),
            [](const QByteArray& line) { return line.startsWith("This document created"); }),
        lines.end());
    return lines.join('\n');
}

bool wellFormed(const QByteArray& xml)
{
    QXmlStreamReader reader(xml);
    while (!reader.atEnd())
        reader.readNext();
    return !reader.hasError();
}

} // namespace

void TestKilledCli::initTestCase()
{
    if (ProjectState::cliPath().isEmpty())
        QSKIP("TARNHELM_CLI is not set");
    QVERIFY(_dir.isValid());
    _oldProject = _dir.filePath(QStringLiteral("old.db"));
    auto run = ProjectState::runCli({ QStringLiteral("demo"), _oldProject });
    QVERIFY2(!run.crashed && run.exitCode == 0, qPrintable(run.err));
    run = ProjectState::runCli({ QStringLiteral("recalc"), _oldProject, QStringLiteral("--full") });
    QVERIFY2(!run.crashed && run.exitCode == 0, qPrintable(run.err));

    _newProject = copy(_oldProject, QStringLiteral("new.db"));
    QVERIFY(changeInputs(_newProject));
    run = ProjectState::runCli({ QStringLiteral("recalc"), _newProject, QStringLiteral("--full") });
    QVERIFY2(!run.crashed && run.exitCode == 0, qPrintable(run.err));
    _recalcMs = run.elapsedMs;
}

QString TestKilledCli::copy(const QString& from, const QString& name)
{
    const QString to = _dir.filePath(name);
    QFile::remove(to);
    return QFile::copy(from, to) ? to : QString();
}

bool TestKilledCli::changeInputs(const QString& path)
{
    TARN::okstat status;
    QSqlDatabase db = ProjectFile::openConnection(path, &status);
    if (status.isOk()) {
        status = ProjectFile::executeScript(db,
            QStringLiteral("UPDATE WaterUserData SET DiversionReq = DiversionReq * 1.5, "
                           "DepletionReq = DepletionReq * 1.25"));
    }
    ProjectFile::closeConnection(db);
    return status.isOk();
}

bool TestKilledCli::runAndKill(const QStringList& args, qint64 durationMs)
{
    QProcess process;
    process.start(ProjectState::cliPath(), args);
    if (!process.waitForStarted())
        return false;
    const auto delay = static_cast<unsigned long>(
        _random.bounded(static_cast<quint32>(qMax<qint64>(durationMs, 2))));
    QThread::msleep(delay);
    const bool running = process.state() == QProcess::Running;
    process.kill(); // SIGKILL
    process.waitForFinished();
    return running;
}

void TestKilledCli::killDuringRecalc()
{
    const Digests before = ProjectState::results(_oldProject);
    const Digests after = ProjectState::results(_newProject);
    QVERIFY(!before.isEmpty());
    QCOMPARE(before.keys(), after.keys());
    QVERIFY(before.value(QStringLiteral("baseline")) != after.value(QStringLiteral("baseline")));

    int killedRunning = 0;
    for (int round = 0; round < Rounds; ++round) {
        const QString work = copy(_oldProject, QStringLiteral("work.db"));
        QVERIFY(changeInputs(work));
        killedRunning
            += runAndKill({ QStringLiteral("recalc"), work, QStringLiteral("--full") }, _recalcMs);

        QCOMPARE(ProjectState::integrity(work), QStringLiteral("ok"));
        QString error;
        const Digests now = ProjectState::results(work, &error);
        QVERIFY2(!now.isEmpty(), qPrintable(error));
        for (auto it = now.cbegin(); it != now.cend(); ++it) {
            QVERIFY2(it.value() == before.value(it.key()) || it.value() == after.value(it.key()),
                qPrintable(QStringLiteral("round %1: %2 results are neither the old nor the new")
                               .arg(round)
                               .arg(it.key())));
        }
        const TARN::okstat opened = TarnDbMgr::instance()->openDatabase(work);
        QVERIFY2(opened.isOk(), qPrintable(opened.text()));
        resetDbManager();
        QFile::remove(work);
    }
    qInfo("recalc: %d of %d kills hit a running process", killedRunning, Rounds);
}

void TestKilledCli::killDuringExport_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("fileName");
    QTest::newRow("xlsx") << QStringLiteral("export-xlsx") << QStringLiteral("book.xlsx");
    QTest::newRow("xlsm") << QStringLiteral("export-xlsx") << QStringLiteral("book.xlsm");
    QTest::newRow("xls") << QStringLiteral("export-xlsx") << QStringLiteral("book.xls");
    QTest::newRow("attribute xml")
        << QStringLiteral("export-attributes") << QStringLiteral("attributes.xml");
}

void TestKilledCli::killDuringExport()
{
    QFETCH(QString, command);
    QFETCH(QString, fileName);
    const bool xml = command == QLatin1String("export-attributes");
    const QString oldFile = _dir.filePath(QStringLiteral("old-") + fileName);
    const QString referenceFile = _dir.filePath(QStringLiteral("reference-") + fileName);
    const QString target = _dir.filePath(fileName);

    auto run = ProjectState::runCli({ command, _oldProject, oldFile });
    QVERIFY2(!run.crashed && run.exitCode == 0, qPrintable(run.err));
    const QByteArray oldBytes = readAll(oldFile);
    QVERIFY(!oldBytes.isEmpty());
    QVERIFY(QFile::copy(oldFile, referenceFile));
    run = ProjectState::runCli({ command, _newProject, referenceFile });
    QVERIFY2(!run.crashed && run.exitCode == 0, qPrintable(run.err));
    const qint64 exportMs = run.elapsedMs;

    QStringList referenceNames;
    QList<Workbook::SheetCells> referenceSheets;
    QString error;
    if (!xml)
        QVERIFY2(
            readBook(referenceFile, referenceNames, referenceSheets, &error), qPrintable(error));
    const QByteArray referenceBytes = readAll(referenceFile);
    if (xml) {
        QCOMPARE(xmlWellFormedProblem(oldFile), QString());
        QCOMPARE(xmlWellFormedProblem(referenceFile), QString());
    }

    for (int round = 0; round < Rounds; ++round) {
        QFile::remove(target);
        QVERIFY(QFile::copy(oldFile, target));
        runAndKill({ command, _newProject, target }, exportMs);

        const QByteArray now = readAll(target);
        if (now == oldBytes)
            continue;
        if (xml) {
            QVERIFY2(wellFormed(now), qPrintable(QStringLiteral("round %1").arg(round)));
            QCOMPARE(xmlWellFormedProblem(target), QString());
            QCOMPARE(xmlBody(now), xmlBody(referenceBytes));
            continue;
        }
        QStringList names;
        QList<Workbook::SheetCells> sheets;
        QVERIFY2(readBook(target, names, sheets, &error),
            qPrintable(QStringLiteral("round %1: %2").arg(round).arg(error)));
        QCOMPARE(names, referenceNames);
        for (int i = 0; i < sheets.size(); ++i)
            QVERIFY2(sameCells(sheets.at(i), referenceSheets.at(i)), qPrintable(names.at(i)));
    }
}

QTEST_GUILESS_MAIN(TestKilledCli)
#include "tst_killedcli.moc"
