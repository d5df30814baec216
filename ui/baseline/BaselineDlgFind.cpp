// Finding a water user of any site from the baseline dialog.
#include "ui/baseline/BaselineDlg.h"
#include "ui_BaselineDlg.h"

#include "db/TarnDbMgr.h"
#include "db/WaterUserDAO.h"

void BaselineDlg::findWaterUserHandler()
{
    const QString text = _ui->_findWaterUserLineEdit->text().trimmed();
    QLabel* said = _ui->_findWaterUserLabel;
    if (text.isEmpty()) {
        said->clear();
        return;
    }
    WaterUserList found;
    const TARN::okstat status = TarnDbMgr::instance()->waterUserDAO()->findWaterUsers(text, found);
    if (status.failed()) {
        said->setText(QStringLiteral("Unable to search the water users: %1").arg(status.text()));
        return;
    }
    if (found.isEmpty()) {
        said->setText(
            QStringLiteral("No water user's name or Riffle name contains \"%1\".").arg(text));
        _findIndex = -1;
        return;
    }
    // The same text again goes on to the next match.
    _findIndex = text == _findText ? (_findIndex + 1) % found.size() : 0;
    _findText = text;
    const WaterUser& match = found.at(_findIndex);
    // The lists' own filters must not hide what was found.
    _ui->_aggDivFilterLineEdit->clear();
    _ui->_waterUserFilterLineEdit->clear();
    scrollToAggDiv(match.aggDiv.AggDivID);
    scrollToWaterUser(match.WaterUserID);
    said->setText(QStringLiteral("%1 of %2: %3 (%4) at %5")
                      .arg(_findIndex + 1)
                      .arg(found.size())
                      .arg(match.WaterUserName, match.RiffleName, match.aggDiv.SiteName));
}
