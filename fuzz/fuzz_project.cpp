// A project file from outside: opening it and the first reads a session makes of it.
#include "FuzzInput.h"
#include "FuzzTargets.h"

#include "db/AggDivDAO.h"
#include "db/BaselineDAO.h"
#include "db/Records.h"
#include "db/TarnDbMgr.h"
#include "db/WaterUserDAO.h"

#include <QFile>

void FuzzTarget::project(const uint8_t* data, size_t size)
{
    static const QString path = FuzzInput::path(".db");
    if (!FuzzInput::write(path, data, size))
        return;

    TarnDbMgr* manager = TarnDbMgr::instance();
    if (manager->openDatabase(path).isOk()) {
        Baseline baseline;
        manager->baselineDAO()->getBaseline(baseline);
        AggDivList aggDivs;
        manager->aggDivDAO()->getAggDivs(aggDivs);
        WaterUserList waterUsers;
        manager->waterUserDAO()->getWaterUsers(waterUsers, 0, 0);
        for (int i = 0; i < waterUsers.size() && i < 4; ++i) {
            WaterUserDataList rows;
            manager->waterUserDAO()->getWaterUserData(rows, waterUsers.at(i).WaterUserID, true);
        }
    }
    // A new manager per input: the same path counts as already open otherwise.
    delete manager;
    QFile::remove(path);
    QFile::remove(path + QStringLiteral("-journal"));
}

TARNHELM_FUZZ_ENTRY(project, true)
