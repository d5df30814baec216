#include "demo/DemoProject.h"

#include "db/ProjectFile.h"
#include "demo/Basins.h"

#include <QFile>
#include <QSqlDatabase>
#include <QSqlError>

namespace DemoProject {
namespace {

// Makes the empty project, then fills it in one transaction. A failure removes the file again, so
// a half-made example never looks like a finished one.
template<typename Fill>
TARN::okstat createFilled(const QString& path, const QString& schema, int firstYear, int lastYear,
    const QString& description, Fill fill)
{
    TARN::okstat status = ProjectFile::create(path, firstYear, lastYear, description, schema);
    if (status.failed())
        return status;
    {
        QSqlDatabase db = ProjectFile::openConnection(path, &status);
        if (status.isOk() && !db.transaction())
            status = db.lastError().text();
        if (status.isOk()) {
            {
                Writer writer(db);
                fill(writer);
                status = writer.status();
            }
            if (status.isOk() && !db.commit())
                status = db.lastError().text();
            if (status.failed())
                db.rollback();
        }
        ProjectFile::closeConnection(db);
    }
    if (status.failed())
        QFile::remove(path);
    return status;
}

} // namespace

TARN::okstat createDemo(const QString& path, const QString& schema)
{
    const int first = 1990;
    const int last = 2020;
    return createFilled(path, schema, first, last,
        QStringLiteral("Silverbend River demo basin: eight aggregate diversions, "
                       "thirty water users and three scenarios."),
        [&](Writer& w) { buildSilverbend(w, first, last); });
}

TARN::okstat createLarge(const QString& path, const QString& schema)
{
    return createFilled(path, schema, Benchmark.firstYear, Benchmark.lastYear,
        QStringLiteral("Benchmark basin: 500 aggregate diversions, 2,500 water "
                       "users, 1981-2100."),
        [](Writer& w) { buildLarge(w, Benchmark); });
}

TARN::okstat createStress(const QString& path)
{
    return createFilled(path, QString(), Stress.firstYear, Stress.lastYear,
        QStringLiteral("Stress basin: 1,000 aggregate diversions, 5,000 water users, 1951-2100, "
                       "20 scenarios."),
        [](Writer& w) { buildLarge(w, Stress); });
}

} // namespace DemoProject
