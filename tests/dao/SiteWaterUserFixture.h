#pragma once

#include "DaoFixture.h"

#include "db/AggDivDAO.h"
#include "db/ModelOps.h"
#include "db/TarnDbMgr.h"
#include "db/TarnNames.h"
#include "db/TarnRelationalTableModel.h"
#include "db/WaterUserDAO.h"

#include <QtTest>

#include <cmath>

// What the tst_sitewateruser_* tests share (sites, water users, their attribute values and
// their yearly rows): the project they work on and their helpers.
class SiteWaterUserFixture : public QObject {
protected:
    AggDivDAO* sites() const { return TarnDbMgr::instance()->aggDivDAO(); }
    WaterUserDAO* waterUsers() const { return TarnDbMgr::instance()->waterUserDAO(); }

    std::unique_ptr<TestProject> _project;

    int yearRows(const QString& where) const
    {
        return count(
            *_project, QStringLiteral("SELECT COUNT(*) FROM WaterUserData WHERE ") + where);
    }
};
