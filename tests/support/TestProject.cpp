#include "TestProject.h"

#include "db/ProjectFile.h"
#include "db/TarnDbMgr.h"

#include <QSqlError>
#include <QSqlQuery>

TestProject::TestProject(int startYear, int endYear, const QString& name)
{
    _path = _dir.filePath(name + QStringLiteral(".db"));
    _status = ProjectFile::create(_path, startYear, endYear, QStringLiteral("test"));
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
