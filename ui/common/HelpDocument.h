#pragma once

#include <QString>
#include <QStringList>

class QWidget;

// The help document: "Help/TARN_Help.pdf" under the current directory, else beside the
// executable, else in the installed data folder, else the copy the build made. Beside it, the
// index of its sections ("TARN_Help.sections": a line "page<TAB>heading" per heading).
namespace HelpDocument {

QString relativePath();
// The folders searched, in order.
QStringList searchRoots();
// The first existing regular file among the candidates; empty when none exists.
QString locate();

// The section of the guide that speaks of the window: a dialog by the name of its form, the
// main window by its current tab. Empty when the guide has none.
QString sectionFor(const QWidget* window);
// The page of the document at path where the heading is, by the index beside it; 0 when the
// index does not know it.
int sectionPage(const QString& path, const QString& heading);
// How a PDF viewer the program knows is told to open path at page (1 is the first); empty for
// any other program.
QStringList viewerArguments(const QString& program, const QString& path, int page);

} // namespace HelpDocument

// Opens the help document with the desktop's viewer, at the section when one is named and a
// viewer that can be told a page is installed, or says why it cannot.
void openHelpDocument(const QString& section = QString());
