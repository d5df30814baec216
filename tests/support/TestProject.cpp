#include "TestProject.h"

#include "db/ColumnNames.h"
#include "db/ProjectFile.h"
#include "db/TarnDbMgr.h"
#include "demo/DemoProject.h"

#include <QAtomicInt>
#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
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

namespace {

ColumnNames columnsOf(const QString& script)
{
    ColumnNames names;
    static QAtomicInt counter;
    const QString connection
        = QStringLiteral("tarnhelm-test-schema-%1").arg(counter.fetchAndAddRelaxed(1));
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection);
        db.setDatabaseName(QStringLiteral(":memory:"));
        if (!db.open() || ProjectFile::executeScript(db, script).failed()
            || names.read(db).failed())
            qFatal("cannot read the columns of a schema script");
        db.close();
    }
    QSqlDatabase::removeDatabase(connection);
    return names;
}

const ColumnNames& testColumns()
{
    static const ColumnNames columns = columnsOf(
        testSchemaScript().isEmpty() ? ProjectFile::schemaScript() : testSchemaScript());
    return columns;
}

} // namespace

QString testColumn(const QString& table, int pos)
{
    return testColumns().at(table, pos);
}

namespace {

// A statement on one table ("SELECT ... FROM T WHERE ...", "UPDATE T SET ...", "DELETE FROM T
// ..."): every word outside quotes that is a column of T in the program's own schema becomes the
// test schema's name of that position.
QString renameColumnsOfOneTable(const QString& statement, const ColumnNames& own)
{
    static const QRegularExpression tables(QStringLiteral("\\b(?:FROM|JOIN|UPDATE|INTO)\\s+(\\w+)"),
        QRegularExpression::CaseInsensitiveOption);
    QSet<QString> named;
    for (auto it = tables.globalMatch(statement); it.hasNext();)
        named.insert(it.next().captured(1));
    if (named.size() != 1)
        return statement;
    const QString table = *named.cbegin();
    const QStringList ownNames = own.names(table);
    if (ownNames.isEmpty())
        return statement;
    static const QRegularExpression word(QStringLiteral("'[^']*'|\\b\\w+\\b"));
    QString result;
    int last = 0;
    for (auto it = word.globalMatch(statement); it.hasNext();) {
        const QRegularExpressionMatch match = it.next();
        const int pos = ownNames.indexOf(match.captured(0));
        if (pos < 0)
            continue;
        result += statement.mid(last, match.capturedStart() - last) + testColumns().at(table, pos);
        last = match.capturedEnd();
    }
    return result + statement.mid(last);
}

} // namespace

QString testSql(const QString& sql)
{
    if (!usesRenamedColumns())
        return sql;
    static const ColumnNames own = columnsOf(ProjectFile::schemaScript());
    static const QRegularExpression insert(
        QStringLiteral("^(\\s*INSERT\\s+INTO\\s+(\\w+)\\s*\\()([^)]*)\\)"),
        QRegularExpression::CaseInsensitiveOption);
    // Statements split at semicolons outside quotes.
    QStringList statements { QString() };
    bool quoted = false;
    for (const QChar c : sql) {
        if (c == QLatin1Char('\''))
            quoted = !quoted;
        if (c == QLatin1Char(';') && !quoted)
            statements.append(QString());
        else
            statements.last().append(c);
    }
    for (QString& statement : statements) {
        const QRegularExpressionMatch match = insert.match(statement);
        if (!match.hasMatch()) {
            statement = renameColumnsOfOneTable(statement, own);
            continue;
        }
        const QString table = match.captured(2);
        const QStringList ownNames = own.names(table);
        QStringList columns;
        for (const QString& column : match.captured(3).split(QLatin1Char(','))) {
            const int pos = ownNames.indexOf(column.trimmed());
            columns.append(pos < 0 ? column.trimmed() : testColumns().at(table, pos));
        }
        statement = match.captured(1) + columns.join(QStringLiteral(", ")) + QLatin1Char(')')
            + statement.mid(match.capturedEnd());
    }
    return statements.join(QLatin1Char(';'));
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
        status = ProjectFile::executeScript(db, testSql(sql));
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
        if (query.exec(testSql(sql)) && query.next())
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
