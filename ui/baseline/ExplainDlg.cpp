#include "ui/baseline/ExplainDlg.h"
#include "ui_ExplainDlg.h"

#include "calc/DemandCalculator.h"
#include "calc/ValueExplainer.h"
#include "db/ScenarioDAO.h"
#include "db/TarnDbMgr.h"
#include "db/TarnNames.h"
#include "db/WaterUserDAO.h"
#include "ui/common/HelpButton.h"
#include "ui/common/ModalRunner.h"

#include <QApplication>
#include <QClipboard>
#include <QFontDatabase>
#include <QFontInfo>
#include <QPushButton>

namespace {

struct Run {
    int scenarioID = 0;
    QString name;
};

} // namespace

ExplainDlg::ExplainDlg(
    QWidget* parent, int waterUserID, int year, ValueKind kind, bool unsavedEdits)
    : QDialog(parent)
    , _ui(new Ui::ExplainWidgets)
    , _waterUserID(waterUserID)
    , _year(year)
{
    _ui->setupUi(this);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setupHelpButton(_ui->_helpButton);
    // The step names are padded to a column: a fixed-pitch font keeps the texts aligned.
    QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    if (!QFontInfo(fixed).fixedPitch()) {
        fixed.setFamily(QStringLiteral("monospace"));
        fixed.setStyleHint(QFont::TypeWriter);
    }
    _ui->_explanationText->setFont(fixed);
    _ui->_unsavedLabel->setVisible(unsavedEdits);

    // A water user that cannot be read is named by its ID alone.
    WaterUser waterUser;
    TarnDbMgr::instance()->waterUserDAO()->getWaterUser(waterUserID, waterUser);
    _ui->_targetLabel->setText(
        QStringLiteral("Water user %1 \"%2\", %3")
            .arg(QString::number(waterUserID), waterUser.WaterUserName, QString::number(year)));

    // The names of the yearly table's columns.
    const QList<QPair<QString, ValueKind>> values { { QStringLiteral("Diversion"),
                                                        ValueKind::Diversion },
        { QStringLiteral("Depletion"), ValueKind::Depletion },
        { QStringLiteral("Efficiency Ratio"), ValueKind::EfficiencyRatio },
        { QStringLiteral("Salinity Pickup"), ValueKind::SalinityPickup } };
    for (const auto& value : values)
        _ui->_valueComboBox->addItem(value.first, ValueKinds::index(value.second));
    _ui->_valueComboBox->setCurrentIndex(_ui->_valueComboBox->findData(ValueKinds::index(kind)));

    connect(_ui->_valueComboBox, qOverload<int>(&QComboBox::currentIndexChanged), this,
        &ExplainDlg::valueChangedHandler);
    connect(_ui->_copyButton, &QPushButton::clicked, this, &ExplainDlg::copyClicked);
    connect(_ui->_closeButton, &QPushButton::clicked, this, &QDialog::accept);
}

ExplainDlg::~ExplainDlg()
{
    delete _ui;
}

QString ExplainDlg::text() const
{
    return _ui->_explanationText->toPlainText();
}

void ExplainDlg::copyClicked()
{
    QString copied = text();
    if (_ui->_unsavedLabel->isVisible())
        copied = _ui->_unsavedLabel->text() + QStringLiteral("\n\n") + copied;
    QApplication::clipboard()->setText(copied);
}

void ExplainDlg::valueChangedHandler(int)
{
    explain();
}

void ExplainDlg::explain()
{
    const ValueKind kind = ValueKind(_ui->_valueComboBox->currentData().toInt());
    // The baseline and the scenarios, or only its own scenario for a scenario's water user (a
    // baseline water user's, or one that cannot be read, is 0).
    QList<Run> runs;
    WaterUser waterUser;
    TarnDbMgr::instance()->waterUserDAO()->getWaterUser(_waterUserID, waterUser);
    const int own = waterUser.ScenarioID;
    if (own == 0)
        runs.append({ 0, QStringLiteral("Baseline") });
    QList<QPair<int, QString>> scenarios;
    TarnDbMgr::instance()->scenarioDAO()->getScenarioNames(scenarios);
    for (const auto& [id, name] : qAsConst(scenarios)) {
        if (own == 0 || own == id)
            runs.append({ id, name });
    }

    _sections.clear();
    QStringList parts;
    for (const Run& run : qAsConst(runs)) {
        _sections.append(run.name);
        parts.append(run.name + QLatin1Char('\n') + QString(run.name.size(), QLatin1Char('='))
            + QLatin1Char('\n') + explainRun(run.scenarioID, kind));
    }
    _ui->_explanationText->setPlainText(parts.join(QLatin1Char('\n')));
}

QString ExplainDlg::explainRun(int scenarioID, ValueKind kind)
{
    ValueExplainer::Request request;
    request.id = _waterUserID;
    request.year = _year;
    request.scenarioID = scenarioID;
    request.kind = kind;
    ValueExplainer explainer(request);
    if (explainer.prepare()) {
        explainer.finish(ModalRunner::runCalculator(this, *explainer.calculator()));
    }
    return explainer.result().text();
}
