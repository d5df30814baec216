#pragma once

#include <QString>
#include <QStringList>

// The help document: "Help/TARN_Help.pdf" under the current directory, else beside the
// executable, else in the installed data folder.
namespace HelpDocument {

QString relativePath();
// The folders searched, in order.
QStringList searchRoots();
// The first existing regular file among the candidates; empty when none exists.
QString locate();

} // namespace HelpDocument

// Opens the help document with the desktop's viewer, or says why it cannot.
void openHelpDocument();
