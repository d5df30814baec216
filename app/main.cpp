#include "app/TARNMainWindow.h"
#include "calc/CalcStatusInfo.h"
#include "db/okstat.h"

#include <QApplication>

int main(int argc, char** argv)
{
    qRegisterMetaType<CalcStatusInfo>("CalcStatusInfo");
    qRegisterMetaType<TARN::okstat>("okstat");
    Q_INIT_RESOURCE(tarnhelm);

    QApplication app(argc, argv);
    app.setStyleSheet(QStringLiteral("QTableView:!active { selection-background-color: #d9d9d9 }"));

    TARNMainWindow window;
    window.show();
    return app.exec();
}
