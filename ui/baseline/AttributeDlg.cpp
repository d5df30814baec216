#include "ui/baseline/AttributeDlg.h"
#include "ui_AttributeDlg.h"

#include "db/Records.h"

AttributeDlg::AttributeDlg(QWidget* parent)
    : QDialog(parent)
    , _ui(new Ui::AttributeWidgets)
{
    _ui->setupUi(this);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    _ui->_aggDivRadioButton->setChecked(true);
    connect(_ui->_okButton, &QPushButton::clicked, this, &QDialog::accept);
    connect(_ui->_cancelButton, &QPushButton::clicked, this, &QDialog::reject);
}

AttributeDlg::~AttributeDlg()
{
    delete _ui;
}

QString AttributeDlg::attributeName() const
{
    return _ui->_attributeLineEdit->text();
}

int AttributeDlg::attributeType() const
{
    return _ui->_appliesToButtonGroup->checkedButton() == _ui->_aggDivRadioButton
        ? TARN::AttrTypeAggDiv
        : TARN::AttrTypeWaterUser;
}
