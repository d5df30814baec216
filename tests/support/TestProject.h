#pragma once

#include "db/okstat.h"

#include <QSqlDatabase>
#include <QString>
#include <QTemporaryDir>
#include <QVariant>

#include <memory>

// The schema script tests make project files with. Test programs that read or write the tables
// run twice: with the program's own script (this returns an empty text, which the project
// functions take as that script) and with a script of another tool that names every free column
// differently (its path in TARNHELM_TEST_SCHEMA).
QString testSchemaScript();
bool usesRenamedColumns();

// The name of column pos of table as the test schema script spells it, quoted for SQL text.
// Tests that write or read free columns in their own SQL take the names from here.
QString testColumn(const QString& table, int pos);

// sql with the column lists of its INSERT statements renamed to the test schema's names: fixtures
// may list columns as the program's own schema script names them. Other statements are left as
// they are (they take free columns from testColumn).
QString testSql(const QString& sql);

// The bundled demo basin, made with the test schema script.
TARN::okstat makeDemoProject(const QString& path);

// A fresh project file in a temporary folder, made from the test schema script, for one test.
class TestProject {
public:
    // Creates dir/name.db with the given range; the baseline row exists.
    explicit TestProject(
        int startYear = 2000, int endYear = 2010, const QString& name = QStringLiteral("project"));
    ~TestProject();

    QString path() const { return _path; }
    QString dirPath() const { return _dir.path(); }
    bool isValid() const { return _status.isOk(); }
    QString error() const { return _status.text(); }

    // Runs statements (separated by ';') on a private connection to the file, after testSql.
    TARN::okstat exec(const QString& sql) const;
    // Single value of a query on a private connection; invalid on failure.
    QVariant scalar(const QString& sql) const;

    // Opens the file as the program's project through the database manager.
    TARN::okstat openInManager() const;

private:
    QTemporaryDir _dir;
    QString _path;
    TARN::okstat _status;
};

// Makes sure QSQLITE and the manager start clean between test functions.
void resetDbManager();

// Root may write to read-only files and folders. When the tests run as root, a test of such a
// fault runs the current test function with the current data row again in a child process as
// the user "nobody" and reports through this: ran is false when that is not possible (setpriv
// missing, or nobody may not run the test binary), passed tells whether the child ran the case and
// passed it, output is its output.
struct UnprivilegedRun {
    bool ran = false;
    bool passed = false;
    QByteArray output;
};
bool runningAsRoot();
UnprivilegedRun rerunAsNobody();

// At the start of such a test function: as root, the case runs as "nobody" and its outcome
// is this function's.
#define RUN_AS_NOBODY_WHEN_ROOT()                                                                  \
    do {                                                                                           \
        if (runningAsRoot()) {                                                                     \
            const UnprivilegedRun run_ = rerunAsNobody();                                          \
            if (!run_.ran)                                                                         \
                QSKIP("running as root, and the test cannot run as nobody here");                  \
            QVERIFY2(run_.passed, run_.output.constData());                                        \
            return;                                                                                \
        }                                                                                          \
    } while (false)
