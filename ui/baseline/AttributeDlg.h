#pragma once

#include <QDialog>
#include <QString>

namespace Ui {
class AttributeWidgets;
}

// Asks for a new attribute's name and whether it classifies sites or water users.
class AttributeDlg : public QDialog {
    Q_OBJECT

public:
    explicit AttributeDlg(QWidget* parent = nullptr);
    ~AttributeDlg() override;

    // The name as typed, not trimmed.
    QString attributeName() const;
    // 1 for a site attribute, 2 for a water user attribute.
    int attributeType() const;

private:
    Ui::AttributeWidgets* _ui;
};
