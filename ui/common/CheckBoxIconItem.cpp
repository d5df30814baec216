#include "ui/common/CheckBoxIconItem.h"

CheckBoxIconItem::CheckBoxIconItem(const QString& text, bool checked)
    : QTableWidgetItem(text, QTableWidgetItem::Type)
    , checked(checked)
{
    // Load both images at the first construction.
    checkedIcon();
    uncheckedIcon();
}

QVariant CheckBoxIconItem::data(int role) const
{
    if (role == Qt::DecorationRole)
        return checked ? checkedIcon() : uncheckedIcon();
    return QTableWidgetItem::data(role);
}

QIcon& CheckBoxIconItem::checkedIcon()
{
    // Kept for the whole run: an icon must not outlive the application object at exit.
    static QIcon* icon = new QIcon(QStringLiteral(":/CheckOn-12"));
    return *icon;
}

QIcon& CheckBoxIconItem::uncheckedIcon()
{
    static QIcon* icon = new QIcon(QStringLiteral(":/CheckOff-12"));
    return *icon;
}
