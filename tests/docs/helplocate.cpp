// Prints the help document the help button would open, or nothing; the test copies this program
// into an installed tree to check the lookup from there.
#include "ui/common/HelpDocument.h"

#include <QCoreApplication>
#include <QTextStream>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QTextStream(stdout) << HelpDocument::locate() << "\n";
    return 0;
}
