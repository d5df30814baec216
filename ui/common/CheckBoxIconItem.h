#pragma once

#include <QIcon>
#include <QTableWidgetItem>

// A table item that draws a check-box image for its owner-maintained checked flag.
class CheckBoxIconItem : public QTableWidgetItem {
public:
    CheckBoxIconItem(const QString& text, bool checked);

    QVariant data(int role) const override;

    bool checked = false;

    // The two check images, loaded once and shared with the filter panels.
    static QIcon& checkedIcon();
    static QIcon& uncheckedIcon();
};
