#pragma once

class QAbstractButton;

// Gives a dialog's help button the style's question-mark icon and tooltip and opens the help
// document when it is pressed.
void setupHelpButton(QAbstractButton* button);
