#include "TestProject.h"

#include "db/ColumnNames.h"
#include "db/DemoProject.h"
#include "db/ProjectFile.h"
#include "db/TarnDbMgr.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSqlError>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QtTest>

#include <unistd.h>

QString testSchemaScript()
{
    static const QString script = [] {
        const QString path = qEnvironmentVariable("TARNHELM_TEST_SCHEMA");
        if (path.isEmpty())
            return QString();
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            qFatal("cannot read the test schema script %s", qPrintable(path));
        return QString::fromUtf8(file.readAll());
    }();
    return script;
}

bool usesRenamedColumns()
{
    return !testSchemaScript().isEmpty();
}

QString testColumn(const QString& table, int pos)
{
    static const ColumnNames columns = [] {
        ColumnNames names;
        const QString connection = QStringLiteral("tarnhelm-test-schema");
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection);
            db.setDatabaseName(QStringLiteral(":memory:"));
            const QString script = testSchemaScript();
            if (!db.open()
                || ProjectFile::executeScript(
                    db, script.isEmpty() ? ProjectFile::schemaScript() : script)
                       .failed()
                || names.read(db).failed())
                qFatal("cannot read the columns of the test schema script");
            db.close();
        }
        QSqlDatabase::removeDatabase(connection);
        return names;
    }();
    return columns.at(table, pos);
}

TARN::okstat makeDemoProject(const QString& path)
{
    return DemoProject::createDemo(path, testSchemaScript());
}

TestProject::TestProject(int startYear, int endYear, const QString& name)
{
    _path = _dir.filePath(name + QStringLiteral(".db"));
    _status = ProjectFile::create(
        _path, startYear, endYear, QStringLiteral("test"), testSchemaScript());
}

TestProject::~TestProject() = default;

TARN::okstat TestProject::exec(const QString& sql) const
{
    TARN::okstat status;
    QSqlDatabase db = ProjectFile::openConnection(_path, &status);
    if (status.isOk())
        status = ProjectFile::executeScript(db, sql);
    ProjectFile::closeConnection(db);
    return status;
}

QVariant TestProject::scalar(const QString& sql) const
{
    TARN::okstat status;
    QVariant value;
    QSqlDatabase db = ProjectFile::openConnection(_path, &status);
    if (status.isOk()) {
        QSqlQuery query(db);
        if (query.exec(sql) && query.next())
            value = query.value(0);
    }
    ProjectFile::closeConnection(db);
    return value;
}

TARN::okstat TestProject::openInManager() const
{
    return TarnDbMgr::instance()->openDatabase(_path);
}

void resetDbManager()
{
    delete TarnDbMgr::instance();
}

bool runningAsRoot()
{
    return ::geteuid() == 0;
}

UnprivilegedRun rerunAsNobody()
{
    UnprivilegedRun run;
    const QString setpriv = QStandardPaths::findExecutable(QStringLiteral("setpriv"));
    if (setpriv.isEmpty())
        return run;
    QString function = QString::fromLatin1(QTest::currentTestFunction());
    if (const char* tag = QTest::currentDataTag(); tag && *tag)
        function += QLatin1Char(':') + QString::fromLatin1(tag);
    QProcess child;
    child.setProcessChannelMode(QProcess::MergedChannels);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    environment.insert(QStringLiteral("TMPDIR"), QStringLiteral("/tmp"));
    child.setProcessEnvironment(environment);
    child.start(setpriv,
        { QStringLiteral("--reuid=65534"), QStringLiteral("--regid=65534"),
            QStringLiteral("--clear-groups"), QCoreApplication::applicationFilePath(), function });
    const bool finished = child.waitForFinished(300000);
    run.output = child.readAll();
    // A test binary that nobody may not run (a build below a private folder) is no verdict.
    run.ran = run.output.contains("Start testing of");
    if (!run.ran)
        return run;
    // Passed, and not skipped: the child's log names the function as passed.
    const QRegularExpression passedLine(QStringLiteral("^PASS   : \\w+::%1\\(")
                                            .arg(QString::fromLatin1(QTest::currentTestFunction())),
        QRegularExpression::MultilineOption);
    run.passed = finished && child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0
        && passedLine.match(QString::fromUtf8(run.output)).hasMatch();
    return run;
}
