#include "ui/common/HelpButton.h"

#include "ui/common/HelpDocument.h"

#include <QAbstractButton>
#include <QStyle>

void setupHelpButton(QAbstractButton* button)
{
    button->setIcon(button->style()->standardIcon(QStyle::SP_MessageBoxQuestion));
    button->setToolTip(QStringLiteral("Open help documentation"));
    QObject::connect(button, &QAbstractButton::clicked, button, [] { openHelpDocument(); });
}
