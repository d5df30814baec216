#include "ui/common/HelpButton.h"

#include "ui/common/HelpDocument.h"

#include <QAbstractButton>
#include <QStyle>

void setupHelpButton(QAbstractButton* button)
{
    button->setIcon(button->style()->standardIcon(QStyle::SP_MessageBoxQuestion));
    button->setToolTip(QStringLiteral("Open help documentation"));
    // At the section of the window the button is in.
    QObject::connect(button, &QAbstractButton::clicked, button,
        [button] { openHelpDocument(HelpDocument::sectionFor(button->window())); });
}
