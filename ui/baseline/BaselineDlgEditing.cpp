// The attribute, site and water user editing of the baseline dialog; construction, settings and
// saving are in BaselineDlg.cpp.
#include "ui/baseline/BaselineDlg.h"
#include "ui_BaselineDlg.h"

#include "calc/DemandCalculator.h"
#include "db/AggDivDAO.h"
#include "db/AttributeDAO.h"
#include "db/DbFailure.h"
#include "db/TarnDbMgr.h"
#include "db/WaterUserDAO.h"
#include "ui/baseline/AggDivDlg.h"
#include "ui/baseline/AttributeDlg.h"
#include "ui/baseline/WaterUserDlg.h"
#include "ui/common/AggDivProxyModel.h"
#include "ui/common/AggDivViewModel.h"
#include "ui/common/AttrValidValViewModel.h"
#include "ui/common/AttributeViewModel.h"
#include "ui/common/WaterUserProxyModel.h"
#include "ui/common/WaterUserViewModel.h"

#include <QApplication>
#include <QHash>
#include <QInputDialog>
#include <QMessageBox>
#include <QRegularExpression>

#include <algorithm>

namespace {

const QString DefaultValue = QStringLiteral("Unassigned");

template<typename T>
void sortByOrd(QList<T>& records)
{
    std::stable_sort(
        records.begin(), records.end(), [](const T& a, const T& b) { return a.Ord < b.Ord; });
}

QRegularExpression nameFilter(const QString& text)
{
    return QRegularExpression(text, QRegularExpression::CaseInsensitiveOption);
}

} // namespace

void BaselineDlg::editFailed(const QString& pattern, const QString& error)
{
    if (transactionKept(error))
        showWarning(pattern.arg(DbFailure::databaseText(error)));
}

// ---- Attributes -------------------------------------------------------------------------------

void BaselineDlg::addAttributeClicked()
{
    AttributeDlg dialog(this);
    if (dialog.exec() != QDialog::Accepted || dialog.attributeName().isEmpty())
        return;
    const QString name = dialog.attributeName();
    for (const Attribute& existing : _attributeModel->records()) {
        if (existing.AttrName == name) {
            showWarning(QStringLiteral("Attribute already exists."));
            return;
        }
    }
    AttributeDAO* dao = TarnDbMgr::instance()->attributeDAO();
    Attribute attribute;
    attribute.AttrID = 0;
    attribute.BaselineID = 1;
    attribute.AttrName = name;
    attribute.setType(dialog.attributeType());
    TARN::okstat status = dao->addAttribute(attribute);
    if (status.failed()) {
        editFailed(QStringLiteral("Unable to save attribute: %1"), status.text());
        return;
    }
    _attributeModel->appendRecord(attribute);

    AttrValidVal value;
    value.AttrID = attribute.AttrID;
    value.AttrVal = DefaultValue;
    status = dao->addValidValue(value);
    if (status.failed()) {
        editFailed(QStringLiteral("Unable to create default value: %1"), status.text());
        return;
    }
    _attrValModel->appendRecord(value);

    status = dao->assignDefaultValue(attribute, value.AttrValidValID);
    if (status.failed())
        editFailed(QStringLiteral("Unable to add attribute to entity: %1"), status.text());
    updateButtons();
}

void BaselineDlg::delAttributeClicked()
{
    const QModelIndex current = _ui->_attributeTableView->currentIndex();
    const Attribute attribute = _attributeModel->record(current.isValid() ? current.row() : -1);
    if (!current.isValid() || attribute.AttrID == 0) {
        showWarning(QStringLiteral("Unable to delete attribute."));
        return;
    }
    const TARN::okstat status = TarnDbMgr::instance()->attributeDAO()->deleteAttribute(attribute);
    if (status.failed()) {
        editFailed(QStringLiteral("Unable to delete attribute: %1"), status.text());
        return;
    }
    _attributeModel->removeRows(current.row(), 1);
    _ui->_attributeTableView->setCurrentIndex(QModelIndex());
    updateAttrValViewModel();
}

void BaselineDlg::updateAttrValViewModel()
{
    const QModelIndex current = _ui->_attributeTableView->currentIndex();
    AttrValidValList values;
    if (current.isValid()) {
        const Attribute attribute = _attributeModel->record(current.row());
        const TARN::okstat status
            = TarnDbMgr::instance()->attributeDAO()->getValidValues(attribute.AttrID, values);
        if (status.failed())
            showWarning(QStringLiteral("Unable to load attribute values: %1").arg(status.text()));
    }
    _attrValModel->setRecords(values);
    updateButtons();
}

void BaselineDlg::attrValSelectionChanged(QModelIndex)
{
    updateButtons();
}

void BaselineDlg::addAttrValClicked()
{
    const QModelIndex current = _ui->_attributeTableView->currentIndex();
    const Attribute attribute = _attributeModel->record(current.isValid() ? current.row() : -1);
    if (!current.isValid() || attribute.AttrID == 0)
        return;
    bool accepted = false;
    const QString text = QInputDialog::getText(this, QStringLiteral("Attribute Value"),
        QStringLiteral("Value:"), QLineEdit::Normal, QString(), &accepted);
    if (!accepted || text.isEmpty())
        return;
    AttrValidVal value;
    value.AttrID = attribute.AttrID;
    value.AttrVal = text;
    const TARN::okstat status = TarnDbMgr::instance()->attributeDAO()->addValidValue(value);
    if (status.failed()) {
        editFailed(QStringLiteral("Unable to save attribute value: %1"), status.text());
        return;
    }
    _attrValModel->appendRecord(value);
}

void BaselineDlg::delAttrValClicked()
{
    const QModelIndex current = _ui->_attrValTableView->currentIndex();
    const AttrValidVal value = _attrValModel->record(current.isValid() ? current.row() : -1);
    if (!current.isValid() || value.AttrValidValID == 0) {
        showWarning(QStringLiteral("No attribute value selected."));
        return;
    }
    if (value.AttrVal == DefaultValue) {
        showWarning(QStringLiteral("Cannot delete default value."));
        return;
    }
    const TARN::okstat status = TarnDbMgr::instance()->attributeDAO()->deleteValidValue(value);
    if (status.failed()) {
        editFailed(QStringLiteral("Unable to delete attribute value: %1"), status.text());
        return;
    }
    _attrValModel->removeRows(current.row(), 1);
    _ui->_attrValTableView->setCurrentIndex(QModelIndex());
    updateButtons();
}

// ---- Sites and water users --------------------------------------------------------------------

void BaselineDlg::aggDivFilterTextChanged(QString text)
{
    _aggDivProxy->setFilterRegularExpression(nameFilter(text));
}

void BaselineDlg::waterUserFilterTextChanged(QString text)
{
    _waterUserProxy->setFilterRegularExpression(nameFilter(text));
}

void BaselineDlg::aggDivSelectionChanged()
{
    WaterUserDAO* dao = TarnDbMgr::instance()->waterUserDAO();
    if (!dao)
        return;
    WaterUserList shown = _waterUserViewModel->records();
    if (!shown.isEmpty()) {
        const TARN::okstat saved = dao->saveWaterUsers(shown);
        if (saved.failed()) {
            editFailed(QStringLiteral("Unable to save water users: %1"), saved.text());
            return;
        }
    }
    WaterUserList waterUsers;
    const int row = currentAggDivRow();
    if (row >= 0) {
        const TARN::okstat loaded
            = dao->getWaterUsers(waterUsers, _aggDivViewModel->record(row).AggDivID, 0);
        if (loaded.failed()) {
            showWarning(QStringLiteral("Unable to load water users: %1").arg(loaded.text()));
            waterUsers.clear();
        }
        sortByOrd(waterUsers);
    }
    _waterUserViewModel->setRecords(waterUsers);
    updateButtons();
}

void BaselineDlg::moveAggDiv(bool up)
{
    const int rows = _aggDivProxy->rowCount();
    const QModelIndex current = _ui->_aggDivTableView->currentIndex();
    if (!current.isValid() || rows < 2)
        return;
    const int r = current.row();
    const auto sourceRow = [this](int proxyRow) {
        return _aggDivProxy->mapToSource(_aggDivProxy->index(proxyRow, 0)).row();
    };
    if (up && r > 0)
        _aggDivViewModel->moveRows({}, sourceRow(r), 1, {}, sourceRow(r - 1));
    else if (!up && r < rows - 1)
        _aggDivViewModel->moveRows({}, sourceRow(r + 1), 1, {}, sourceRow(r));
}

void BaselineDlg::moveWaterUser(bool up)
{
    const int rows = _waterUserProxy->rowCount();
    const QModelIndex current = _ui->_waterUserTableView->currentIndex();
    if (!current.isValid() || rows < 2)
        return;
    const int r = current.row();
    const auto sourceRow = [this](int proxyRow) {
        return _waterUserProxy->mapToSource(_waterUserProxy->index(proxyRow, 0)).row();
    };
    if (up && r > 0)
        _waterUserViewModel->moveRows({}, sourceRow(r), 1, {}, sourceRow(r - 1));
    else if (!up && r < rows - 1)
        _waterUserViewModel->moveRows({}, sourceRow(r + 1), 1, {}, sourceRow(r));
}

void BaselineDlg::runAggDivDlg(int aggDivID)
{
    AggDivDlg dialog(aggDivID, &_changeLog, this);
    connect(&dialog, &AggDivDlg::aggDivEdited, this, &BaselineDlg::aggDivEditedHandler);
    connect(&dialog, &AggDivDlg::aggDivEditCanceled, this, &BaselineDlg::aggDivEditCanceled);
    dialog.exec();
    // The site dialog has said what a failed write that ended the transaction took with it.
    if (transactionLost())
        reloadFromFile();
}

void BaselineDlg::addAggDivClicked()
{
    _aggDivID = -1;
    runAggDivDlg(-1);
}

void BaselineDlg::editAggDivHandler()
{
    const int row = currentAggDivRow();
    const AggDiv aggDiv = _aggDivViewModel->record(row);
    if (row < 0 || aggDiv.AggDivID == 0) {
        showWarning(QStringLiteral("No aggregate diversion selected."));
        return;
    }
    _aggDivID = aggDiv.AggDivID;
    runAggDivDlg(_aggDivID);
}

void BaselineDlg::aggDivEditedHandler(int aggDivID, QString adName)
{
    AggDiv aggDiv;
    const TARN::okstat status = TarnDbMgr::instance()->aggDivDAO()->getAggDiv(aggDivID, aggDiv);
    if (status.failed()) {
        showWarning(status.text());
        return;
    }
    if (_aggDivID == -1) {
        _aggDivViewModel->appendRecord(aggDiv);
        // Further Applies of the same dialog edit the site it has just added.
        _aggDivID = aggDivID;
    } else {
        _changeLog.aggDivEdited(aggDivID, adName);
        _aggDivViewModel->replaceRecord(aggDiv);
        const QModelIndex first = _aggDivViewModel->index(0, 0);
        emit _aggDivViewModel->dataChanged(first,
            _aggDivViewModel->index(
                _aggDivViewModel->rowCount() - 1, _aggDivViewModel->columnCount() - 1));
    }
    scrollToAggDiv(aggDivID);
}

void BaselineDlg::aggDivEditCanceled(int aggDivID)
{
    // A new site's dialog removes its row on Cancel; once removed, the list entry an earlier
    // Apply added must go too, or the next save would write the site back.
    AggDiv stored;
    if (TarnDbMgr::instance()->aggDivDAO()->getAggDiv(aggDivID, stored).isOk()
        && stored.AggDivID == 0) {
        const auto& records = _aggDivViewModel->records();
        for (int row = 0; row < records.size(); ++row) {
            if (records.at(row).AggDivID == aggDivID) {
                _aggDivViewModel->removeRows(row, 1);
                _aggDivViewModel->renumberOrd();
                break;
            }
        }
        updateButtons();
        return;
    }
    scrollToAggDiv(aggDivID);
}

void BaselineDlg::recordDemandChangesLeft(int aggDivID, int waterUserID)
{
    QList<int> demandChgIDs;
    const TARN::okstat status
        = TarnDbMgr::instance()->waterUserDAO()->getDemandChgIDs(waterUserID, demandChgIDs);
    if (status.failed())
        showWarning(status.text());
    _changeLog.demandChangesLeft(aggDivID, waterUserID, demandChgIDs);
}

void BaselineDlg::delAggDivClicked()
{
    const QModelIndex current = _ui->_aggDivTableView->currentIndex();
    if (!current.isValid()) {
        showWarning(QStringLiteral("Unable to delete the aggregate diversion"));
        return;
    }
    const AggDiv aggDiv = _aggDivViewModel->record(_aggDivProxy->mapToSource(current).row());
    QList<WaterUserUse> uses;
    TarnDbMgr::instance()->waterUserDAO()->getSiteUses(aggDiv.AggDivID, uses);
    if (!confirmDeletion(QStringLiteral("Delete Aggregate Diversion"), aggDiv.SiteName, uses, true))
        return;
    // The site's water users go with it, and with them their places in demand changes: what
    // those changes share out to their other members has to be recomputed.
    WaterUserList departing;
    TarnDbMgr::instance()->waterUserDAO()->getWaterUsers(departing, aggDiv.AggDivID, 0);
    QHash<int, QList<int>> demandChanges;
    for (const WaterUser& waterUser : qAsConst(departing))
        TarnDbMgr::instance()->waterUserDAO()->getDemandChgIDs(
            waterUser.WaterUserID, demandChanges[waterUser.WaterUserID]);
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const TARN::okstat status = TarnDbMgr::instance()->aggDivDAO()->deleteAggDiv(aggDiv);
    QApplication::restoreOverrideCursor();
    if (status.failed()) {
        editFailed(QStringLiteral("Unable to delete the aggregate diversion: %1"), status.text());
        return;
    }
    for (const WaterUser& waterUser : qAsConst(departing)) {
        if (demandChanges.value(waterUser.WaterUserID).isEmpty())
            continue;
        _changeLog.waterUserDeleted(
            aggDiv.AggDivID, waterUser.WaterUserID, waterUser.WaterUserName);
        _changeLog.demandChangesLeft(
            aggDiv.AggDivID, waterUser.WaterUserID, demandChanges.value(waterUser.WaterUserID));
    }
    // The site's water users went with it; they must not be saved again.
    _waterUserViewModel->setRecords({});
    _aggDivProxy->removeRow(current.row());
    _aggDivViewModel->renumberOrd();
    // Nothing is chosen after a delete: the view would move on to the next site, and a second
    // click would delete that one too.
    _ui->_aggDivTableView->selectionModel()->clear();
    aggDivSelectionChanged();
}

void BaselineDlg::runWaterUserDlg(int waterUserID, int aggDivID)
{
    WaterUserDlg dialog(this, waterUserID, aggDivID, -1);
    connect(&dialog, &WaterUserDlg::waterUserEdited, this, &BaselineDlg::waterUserEditedHandler);
    connect(
        &dialog, &WaterUserDlg::waterUserEditCanceled, this, &BaselineDlg::waterUserEditCanceled);
    dialog.exec();
    if (transactionLost())
        reloadFromFile();
}

void BaselineDlg::addWaterUserHandler()
{
    const int row = currentAggDivRow();
    if (row < 0)
        return;
    _aggDivID = _aggDivViewModel->record(row).AggDivID;
    _waterUserID = -1;
    runWaterUserDlg(-1, _aggDivID);
}

void BaselineDlg::editWaterUserHandler()
{
    const int row = currentWaterUserRow();
    const WaterUser waterUser = _waterUserViewModel->record(row);
    if (row < 0 || waterUser.WaterUserID == 0) {
        showWarning(QStringLiteral("No water user selected."));
        return;
    }
    _aggDivID = waterUser.aggDiv.AggDivID;
    _waterUserID = waterUser.WaterUserID;
    runWaterUserDlg(_waterUserID, _aggDivID);
}

void BaselineDlg::waterUserEditedHandler(int aggDivID, int waterUserID, QString waterUserName)
{
    WaterUserDAO* dao = TarnDbMgr::instance()->waterUserDAO();
    WaterUser waterUser;
    const TARN::okstat status = dao->getWaterUser(waterUserID, waterUser);
    if (status.failed()) {
        showWarning(status.text());
        return;
    }
    const auto updateMemberships = [this, dao, &waterUser] {
        TARN::okstat membership = dao->updateDemandChgMembership(waterUser);
        if (membership.failed())
            showWarning(membership.text());
        membership = dao->updatePlotCurveMembership(waterUser);
        if (membership.failed())
            showWarning(membership.text());
    };

    if (_waterUserID == -1) {
        _waterUserViewModel->appendRecord(waterUser);
        _changeLog.waterUserAdded(aggDivID, waterUserID, waterUserName);
        updateMemberships();
        // A second Apply of the same dialog edits the water user it has just added; appending
        // it again would list and save it twice.
        _waterUserID = waterUserID;
        _aggDivID = waterUser.aggDiv.AggDivID;
    } else if (waterUser.aggDiv.AggDivID == _aggDivID) {
        _changeLog.waterUserEdited(aggDivID, waterUserID, waterUserName);
        _waterUserViewModel->replaceRecord(waterUser);
        emit _waterUserViewModel->dataChanged(_waterUserViewModel->index(0, 0),
            _waterUserViewModel->index(
                _waterUserViewModel->rowCount() - 1, _waterUserViewModel->columnCount() - 1));
    } else {
        // Moved to another site: both sites' totals change, and the water user's own results
        // are recomputed under the site it now belongs to.
        const int oldAggDivID = _aggDivID;
        const int newAggDivID = waterUser.aggDiv.AggDivID;
        _changeLog.aggDivsTouched(oldAggDivID, newAggDivID);
        _changeLog.waterUserEdited(newAggDivID, waterUserID, waterUserName);
        recordDemandChangesLeft(newAggDivID, waterUserID);
        QList<WaterUserMembership> dropped;
        const TARN::okstat membership = dao->updateMembershipAfterMove(waterUser, dropped);
        if (membership.failed())
            showWarning(membership.text());
        reportDroppedMemberships(waterUser, dropped);
        const auto& records = _waterUserViewModel->records();
        for (int row = 0; row < records.size(); ++row) {
            if (records.at(row).WaterUserID == waterUserID) {
                _waterUserViewModel->removeRows(row, 1);
                break;
            }
        }
        _aggDivID = waterUser.aggDiv.AggDivID;
    }
    scrollToAggDiv(aggDivID);
    scrollToWaterUser(waterUserID);
}

void BaselineDlg::waterUserEditCanceled(int, int waterUserID)
{
    // Only a new water user's dialog deletes its row on Cancel; once deleted, the list entry an
    // earlier Apply added must go too, or the next save would write the water user back.
    WaterUser stored;
    if (TarnDbMgr::instance()->waterUserDAO()->getWaterUser(waterUserID, stored).failed()
        || stored.WaterUserID != 0)
        return;
    const auto& records = _waterUserViewModel->records();
    for (int row = 0; row < records.size(); ++row) {
        if (records.at(row).WaterUserID == waterUserID) {
            _waterUserViewModel->removeRows(row, 1);
            break;
        }
    }
    updateButtons();
}

void BaselineDlg::delWaterUserHandler()
{
    const QModelIndex current = _ui->_waterUserTableView->currentIndex();
    if (!current.isValid()) {
        showWarning(QStringLiteral("Unable to delete the water user"));
        return;
    }
    const WaterUser waterUser
        = _waterUserViewModel->record(_waterUserProxy->mapToSource(current).row());
    QList<WaterUserUse> uses;
    TarnDbMgr::instance()->waterUserDAO()->getWaterUserUses(waterUser.WaterUserID, uses);
    if (!confirmDeletion(QStringLiteral("Delete Water User"), waterUser.WaterUserName, uses, false))
        return;
    // Read before the deletion takes the water user out of its demand changes.
    QList<int> demandChanges;
    TarnDbMgr::instance()->waterUserDAO()->getDemandChgIDs(waterUser.WaterUserID, demandChanges);
    const TARN::okstat status = TarnDbMgr::instance()->waterUserDAO()->deleteWaterUser(waterUser);
    if (status.failed()) {
        editFailed(QStringLiteral("Unable to delete the water user: %1"), status.text());
        return;
    }
    _waterUserProxy->removeRow(current.row());
    _ui->_waterUserTableView->selectionModel()->clear();
    _changeLog.waterUserDeleted(
        waterUser.aggDiv.AggDivID, waterUser.WaterUserID, waterUser.WaterUserName);
    _changeLog.demandChangesLeft(waterUser.aggDiv.AggDivID, waterUser.WaterUserID, demandChanges);
    updateButtons();
}

bool BaselineDlg::confirmDeletion(
    const QString& title, const QString& name, const QList<WaterUserUse>& uses, bool site)
{
    if (uses.isEmpty())
        return true;
    QStringList lines;
    for (const WaterUserUse& use : uses) {
        QString line;
        switch (use.kind) {
        case WaterUserUse::DemandChange:
            line = QStringLiteral("demand change \"%1\" of scenario \"%2\"")
                       .arg(use.ownerName, use.containerName);
            break;
        case WaterUserUse::PlotCurve:
            line = QStringLiteral("plot curve \"%1\" of plot \"%2\"")
                       .arg(use.ownerName, use.containerName);
            break;
        case WaterUserUse::ScenarioWaterUser:
            line = QStringLiteral("a water user of scenario \"%1\" at this site")
                       .arg(use.containerName);
            break;
        }
        lines << (site ? QStringLiteral("%1: %2").arg(use.waterUserName, line) : line);
    }
    const QString text = site
        ? QStringLiteral("The water users of \"%1\" are used elsewhere:\n\n%2\n\nDeleting the "
                         "site deletes them and takes them out of these. Delete \"%1\"?")
        : QStringLiteral("\"%1\" is used elsewhere:\n\n%2\n\nDeleting it takes it out of "
                         "these. Delete \"%1\"?");
    return QMessageBox::question(this, title, text.arg(name, lines.join(QLatin1Char('\n'))),
               QMessageBox::Yes | QMessageBox::No, QMessageBox::No)
        == QMessageBox::Yes;
}

void BaselineDlg::reportDroppedMemberships(
    const WaterUser& waterUser, const QList<WaterUserMembership>& dropped)
{
    if (dropped.isEmpty())
        return;
    emit diagMessage(
        QStringLiteral("Water User %1 was moved to Agg Diversion %2 and left:")
            .arg(DemandCalculator::itemLabel(waterUser.WaterUserID, waterUser.WaterUserName),
                DemandCalculator::itemLabel(waterUser.aggDiv.AggDivID, waterUser.aggDiv.SiteName)));
    for (const WaterUserMembership& membership : dropped) {
        emit diagMessage(
            QStringLiteral("    %1 %2")
                .arg(membership.plotCurve ? QStringLiteral("Plot Curve")
                                          : QStringLiteral("Demand Change"),
                    DemandCalculator::itemLabel(membership.ownerId, membership.ownerName)));
    }
}

void BaselineDlg::scrollToAggDiv(int aggDivID)
{
    for (int row = 0; row < _aggDivProxy->rowCount(); ++row) {
        const QModelIndex index = _aggDivProxy->index(row, AggDivViewModel::NameColumn);
        if (_aggDivViewModel->record(_aggDivProxy->mapToSource(index).row()).AggDivID == aggDivID) {
            if (index != _ui->_aggDivTableView->currentIndex())
                _ui->_aggDivTableView->setCurrentIndex(index);
            _ui->_aggDivTableView->scrollTo(index);
            return;
        }
    }
}

void BaselineDlg::scrollToWaterUser(int waterUserID)
{
    for (int row = 0; row < _waterUserProxy->rowCount(); ++row) {
        const QModelIndex index = _waterUserProxy->index(row, WaterUserViewModel::NameColumn);
        if (_waterUserViewModel->record(_waterUserProxy->mapToSource(index).row()).WaterUserID
            == waterUserID) {
            _ui->_waterUserTableView->setCurrentIndex(index);
            _ui->_waterUserTableView->scrollTo(index);
            return;
        }
    }
}
