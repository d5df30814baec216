#include "support/TestProject.h"

#include <QtTest>

class TestDbMgr : public QObject
{
    Q_OBJECT
private slots:
    void placeholder() { TestProject p; QVERIFY2(p.isValid(), qPrintable(p.error())); }
};

QTEST_GUILESS_MAIN(TestDbMgr)
#include "tst_dbmgr.moc"
