#include "calc/PasteParsers.h"
#include "db/Records.h"
#include "ui/baseline/MonthlyCoefficientLineEdit.h"
#include "ui/baseline/WaterUserDataTableView.h"
#include "ui/common/MessageInfoBox.h"
#include "ui/common/WaterUserDataViewModel.h"

#include <QAbstractButton>
#include <QApplication>
#include <QClipboard>
#include <QMessageBox>
#include <QStandardItemModel>
#include <QTimer>
#include <QtTest>

#include <cmath>

namespace {

const double N = TARN::nan();
using View = WaterUserDataTableView;

// Three years; 2001 starts with diversion 100, depletion 40, efficiency 0.4.
QList<WaterUserData> threeYears()
{
    QList<WaterUserData> records;
    for (int year = 2000; year <= 2002; ++year) {
        WaterUserData record;
        record.id = year - 1999;
        record.WaterUserID = 7;
        record.Year = year;
        records.append(record);
    }
    records[1].DiversionReq = 100;
    records[1].DepletionReq = 40;
    records[1].EfficiencyRatio = 0.4;
    return records;
}

bool same(double actual, double expected)
{
    if (std::isnan(expected))
        return std::isnan(actual);
    return actual == expected || std::abs(actual - expected) <= 1e-12 * std::abs(expected);
}

// "row:d,p,e,s" entries separated by ';', "n" for no value.
QVector<Paste::YearlyRow> rowsFrom(const QString& text)
{
    QVector<Paste::YearlyRow> rows;
    for (const QString& entry : text.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        const QStringList parts = entry.split(QLatin1Char(':'));
        const QStringList values = parts.at(1).split(QLatin1Char(','));
        const auto value = [&values](int i) {
            return values.at(i) == QLatin1String("n") ? TARN::nan() : values.at(i).toDouble();
        };
        Paste::YearlyRow row;
        row.row = parts.at(0).toInt();
        row.diversion = value(0);
        row.depletion = value(1);
        row.efficiency = value(2);
        row.salinity = value(3);
        rows.append(row);
    }
    return rows;
}

// Closes the next message box that becomes modal and keeps its text.
class BoxCatcher : public QObject {
public:
    explicit BoxCatcher(QMessageBox::StandardButton answer = QMessageBox::Ok)
        : _answer(answer)
    {
        connect(&_timer, &QTimer::timeout, this, [this] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box)
                return;
            texts << box->text();
            titles << box->windowTitle();
            box->button(_answer) ? box->button(_answer)->click() : box->reject();
        });
        _timer.start(10);
    }
    QStringList texts;
    QStringList titles;

private:
    QMessageBox::StandardButton _answer;
    QTimer _timer;
};

} // namespace

class TestWaterUserEditors : public QObject {
    Q_OBJECT

private slots:
    void paste_data()
    {
        QTest::addColumn<int>("row");
        QTest::addColumn<int>("column");
        QTest::addColumn<int>("action");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("error");
        QTest::addColumn<QString>("rows");
        QTest::addColumn<QString>("invalidYears");
        QTest::addColumn<QString>("zeroYears");

        QTest::newRow("plain two rows from diversion")
            << 0 << 3 << int(Paste::PlainPaste) << "100\t40\n200\t50"
            << ""
            << "0:100,40,0.4,n;1:200,50,0.25,n"
            << ""
            << "";
        QTest::newRow("year cell counts as diversion")
            << 0 << 2 << int(Paste::PlainPaste) << "100\t40"
            << ""
            << "0:100,40,0.4,n"
            << ""
            << "";
        QTest::newRow("plain at depletion keeps the row's diversion")
            << 1 << 4 << int(Paste::PlainPaste) << "50"
            << ""
            << "1:100,50,0.5,n"
            << ""
            << "";
        QTest::newRow("salinity only") << 1 << 6 << int(Paste::PlainPaste) << "3.5"
                                       << ""
                                       << "1:100,40,0.4,3.5"
                                       << ""
                                       << "";
        QTest::newRow("five fields at diversion")
            << 0 << 3 << int(Paste::PlainPaste) << "1\t2\t0.5\t4\t5"
            << "Pasted data contain too many columns."
            << ""
            << ""
            << "";
        QTest::newRow("too many rows") << 2 << 3 << int(Paste::PlainPaste) << "1\n2"
                                       << "Pasted data contain too many rows."
                                       << ""
                                       << ""
                                       << "";
        QTest::newRow("bad second line refuses all")
            << 0 << 3 << int(Paste::PlainPaste) << "100\nabc"
            << "'abc' is not numeric."
            << ""
            << ""
            << "";
        QTest::newRow("huge value") << 0 << 3 << int(Paste::PlainPaste) << "1e400"
                                    << "'1e400' is not numeric."
                                    << ""
                                    << ""
                                    << "";
        QTest::newRow("nan text") << 0 << 3 << int(Paste::PlainPaste) << "nan"
                                  << "'nan' is not numeric."
                                  << ""
                                  << ""
                                  << "";
        QTest::newRow("trailing line ends and carriage returns")
            << 0 << 3 << int(Paste::PlainPaste) << "100\t40\r\n\n"
            << ""
            << "0:100,40,0.4,n"
            << ""
            << "";
        QTest::newRow("blank line keeps its row")
            << 0 << 3 << int(Paste::PlainPaste) << "100\t40\n\n300\t60"
            << ""
            << "0:100,40,0.4,n;1:100,40,0.4,n;2:300,60,0.2,n"
            << ""
            << "";
        QTest::newRow("diversion and depletion")
            << 0 << 5 << int(Paste::DiversionDepletion) << "100\t40"
            << ""
            << "0:100,40,0.4,n"
            << ""
            << "";
        QTest::newRow("diversion and efficiency")
            << 0 << 3 << int(Paste::DiversionEfficiency) << "200\t0.5"
            << ""
            << "0:200,100,0.5,n"
            << ""
            << "";
        QTest::newRow("depletion and efficiency")
            << 0 << 3 << int(Paste::DepletionEfficiency) << "50\t0.25"
            << ""
            << "0:200,50,0.25,n"
            << ""
            << "";
        // What was pasted is the input: the third value follows from it.
        QTest::newRow("diversion and efficiency on a full row")
            << 1 << 3 << int(Paste::DiversionEfficiency) << "200\t0.5"
            << ""
            << "1:200,100,0.5,n"
            << ""
            << "";
        QTest::newRow("depletion and efficiency on a full row")
            << 1 << 3 << int(Paste::DepletionEfficiency) << "50\t0.25"
            << ""
            << "1:200,50,0.25,n"
            << ""
            << "";
        QTest::newRow("plain efficiency on a full row") << 1 << 5 << int(Paste::PlainPaste) << "0.5"
                                                        << ""
                                                        << "1:100,50,0.5,n"
                                                        << ""
                                                        << "";
        QTest::newRow("two-column action with one field")
            << 0 << 3 << int(Paste::DiversionDepletion) << "100"
            << "Two columns of data are required for this action."
            << ""
            << ""
            << "";
        QTest::newRow("two-column action with a blank line")
            << 0 << 3 << int(Paste::DiversionDepletion) << "100\t40\n\n1\t2"
            << "Two columns of data are required for this action."
            << ""
            << ""
            << "";
        QTest::newRow("two-column action with three fields")
            << 0 << 3 << int(Paste::DiversionDepletion) << "100\t40\t1"
            << "Pasted data contain too many columns."
            << ""
            << ""
            << "";
        QTest::newRow("efficiency 1.2 is cleared")
            << 0 << 3 << int(Paste::DiversionEfficiency) << "100\t1.2"
            << ""
            << "0:100,n,n,n"
            << "<li>2000</li>"
            << "";
        QTest::newRow("efficiency 1.2 re-derived from depletion")
            << 1 << 3 << int(Paste::DiversionEfficiency) << "200\t1.2"
            << ""
            << "1:200,40,0.2,n"
            << "<li>2001</li>"
            << "";
        QTest::newRow("diversion 0 with efficiency 0")
            << 0 << 3 << int(Paste::DiversionEfficiency) << "0\t0"
            << ""
            << "0:0,0,0.00005,n"
            << ""
            << "<li>2000</li>";
        QTest::newRow("diversion 0 with depletion clears a stale efficiency")
            << 1 << 3 << int(Paste::DiversionDepletion) << "0\t10"
            << ""
            << "1:0,10,n,n"
            << ""
            << "";
        QTest::newRow("full precision")
            << 0 << 3 << int(Paste::DiversionEfficiency) << "123456.789\t0.5"
            << ""
            << "0:123456.789,61728.3945,0.5,n"
            << ""
            << "";
        QTest::newRow("empty clipboard") << 0 << 3 << int(Paste::PlainPaste) << ""
                                         << ""
                                         << ""
                                         << ""
                                         << "";
    }

    void paste()
    {
        QFETCH(int, row);
        QFETCH(int, column);
        QFETCH(int, action);
        QFETCH(QString, text);
        QFETCH(QString, error);
        QFETCH(QString, rows);
        QFETCH(QString, invalidYears);
        QFETCH(QString, zeroYears);

        const Paste::YearlyResult result = Paste::yearlyTable(
            threeYears(), row, column, static_cast<Paste::YearlyAction>(action), text);
        QCOMPARE(result.status.failed() ? result.status.text() : QString(), error);
        const QVector<Paste::YearlyRow> expected = rowsFrom(rows);
        QCOMPARE(result.rows.size(), expected.size());
        for (int i = 0; i < expected.size(); ++i) {
            const Paste::YearlyRow& got = result.rows.at(i);
            const Paste::YearlyRow& want = expected.at(i);
            QCOMPARE(got.row, want.row);
            QVERIFY2(
                same(got.diversion, want.diversion), qPrintable(QString::number(got.diversion)));
            QVERIFY2(
                same(got.depletion, want.depletion), qPrintable(QString::number(got.depletion)));
            QVERIFY2(
                same(got.efficiency, want.efficiency), qPrintable(QString::number(got.efficiency)));
            QVERIFY(same(got.salinity, want.salinity));
        }
        QCOMPARE(result.invalidEfficiencyYears.join(QString()), invalidYears);
        QCOMPARE(result.zeroEfficiencyYears.join(QString()), zeroYears);
    }

    void adjustmentReport()
    {
        Paste::YearlyResult result;
        result.invalidEfficiencyYears << QStringLiteral("<li>2000</li>");
        result.zeroEfficiencyYears << QStringLiteral("<li>2001</li>")
                                   << QStringLiteral("<li>2002</li>");
        QCOMPARE(result.adjustmentReport(),
            QStringLiteral("The data for the following years had errors and have been adjusted:"
                           "<p>Invalid efficiency ratio (must be between 0 and 1): "
                           "<ul><li>2000</li></ul></p><p>Efficiency ratios of zero have been "
                           "adjusted to avoid calculation errors: "
                           "<ul><li>2001</li><li>2002</li></ul></p>"));
        result.invalidEfficiencyYears.clear();
        QVERIFY(!result.adjustmentReport().contains(QLatin1String("Invalid")));
    }

    void cellRules_data()
    {
        QTest::addColumn<double>("d");
        QTest::addColumn<double>("p");
        QTest::addColumn<double>("e");
        QTest::addColumn<int>("column");
        QTest::addColumn<double>("newD");
        QTest::addColumn<double>("newP");
        QTest::addColumn<double>("newE");
        QTest::addColumn<QString>("warning");

        const QString zeroBoth = QStringLiteral(
            "Diversion and efficiency ratio are both zero. The data will be adjusted to avoid "
            "calculation errors.");
        const QString zeroDiv = QStringLiteral(
            "Efficiency cannot be calculated when diversion is 0 and depletion is non-zero.");
        const QString range = QStringLiteral("Efficiency ratio must be between 0 and 1.");

        QTest::newRow("div: nothing to derive from")
            << 100.0 << N << N << 3 << 100.0 << N << N << "";
        QTest::newRow("div: both zero")
            << 0.0 << N << 0.0 << 3 << 0.0 << 0.0 << 0.00005 << zeroBoth;
        QTest::newRow("div: depletion from efficiency")
            << 100.0 << N << 0.4 << 3 << 100.0 << 40.0 << 0.4 << "";
        QTest::newRow("div: 0 with depletion 10")
            << 0.0 << 10.0 << 0.5 << 3 << N << 10.0 << N << zeroDiv;
        QTest::newRow("div: 0 with depletion 0")
            << 0.0 << 0.0 << 0.5 << 3 << 0.0 << 0.0 << 0.0 << "";
        QTest::newRow("div: efficiency from depletion")
            << 200.0 << 50.0 << 0.9 << 3 << 200.0 << 50.0 << 0.25 << "";
        QTest::newRow("div: cleared") << N << 50.0 << 0.5 << 3 << N << 50.0 << N << "";
        QTest::newRow("dep: diversion 0") << 0.0 << 30.0 << 0.5 << 4 << N << 30.0 << N << zeroDiv;
        QTest::newRow("dep: cleared with diversion 0")
            << 0.0 << N << 0.5 << 4 << N << N << N << zeroDiv;
        QTest::newRow("dep: 0 with diversion 0")
            << 0.0 << 0.0 << 0.5 << 4 << 0.0 << 0.0 << 0.0 << "";
        QTest::newRow("dep: efficiency")
            << 200.0 << 50.0 << 0.1 << 4 << 200.0 << 50.0 << 0.25 << "";
        QTest::newRow("dep: diversion from efficiency")
            << N << 40.0 << 0.5 << 4 << 80.0 << 40.0 << 0.5 << "";
        QTest::newRow("dep: efficiency 0 gives diversion 0")
            << N << 40.0 << 0.0 << 4 << 0.0 << 40.0 << 0.0 << "";
        QTest::newRow("eff: above 1") << 100.0 << 40.0 << 1.5 << 5 << 100.0 << 40.0 << N << range;
        QTest::newRow("eff: below 0") << 100.0 << 40.0 << -0.1 << 5 << 100.0 << 40.0 << N << range;
        QTest::newRow("eff: 0.5 with diversion 200")
            << 200.0 << 10.0 << 0.5 << 5 << 200.0 << 100.0 << 0.5 << "";
        QTest::newRow("eff: 0 with diversion 0")
            << 0.0 << 5.0 << 0.0 << 5 << 0.0 << 0.0 << 0.00005 << zeroBoth;
        QTest::newRow("eff: diversion from depletion")
            << N << 40.0 << 0.5 << 5 << 80.0 << 40.0 << 0.5 << "";
        QTest::newRow("eff: 0 without diversion")
            << N << 40.0 << 0.0 << 5 << 0.0 << 0.0 << 0.00005 << zeroBoth;
        QTest::newRow("salinity derives nothing")
            << 0.0 << 10.0 << 0.5 << 6 << 0.0 << 10.0 << 0.5 << "";
    }

    void cellRules()
    {
        QFETCH(double, d);
        QFETCH(double, p);
        QFETCH(double, e);
        QFETCH(int, column);
        QFETCH(double, newD);
        QFETCH(double, newP);
        QFETCH(double, newE);
        QFETCH(QString, warning);

        WaterUserData record;
        record.DiversionReq = d;
        record.DepletionReq = p;
        record.EfficiencyRatio = e;
        QCOMPARE(View::applyCellRule(record, column), warning);
        QVERIFY2(same(record.DiversionReq, newD), qPrintable(QString::number(record.DiversionReq)));
        QVERIFY2(same(record.DepletionReq, newP), qPrintable(QString::number(record.DepletionReq)));
        QVERIFY2(same(record.EfficiencyRatio, newE),
            qPrintable(QString::number(record.EfficiencyRatio)));
    }

    void deleteKeyClearsOnlyTheCell()
    {
        WaterUserDataViewModel model;
        model.setRecords(threeYears());
        View view;
        view.setModel(&model);
        view.setCurrentIndex(model.index(1, WaterUserDataViewModel::DepletionColumn));
        QTest::keyClick(&view, Qt::Key_Delete);
        QVERIFY(std::isnan(model.record(1).DepletionReq));
        QCOMPARE(model.record(1).EfficiencyRatio, 0.4);
        QCOMPARE(model.record(1).DiversionReq, 100.0);
    }

    void cellEditRunsTheRules()
    {
        WaterUserDataViewModel model;
        model.setRecords(threeYears());
        View view;
        view.setModel(&model);
        model.setData(model.index(1, WaterUserDataViewModel::DiversionColumn), 200.0);
        QCOMPARE(model.record(1).EfficiencyRatio, 0.2);
        model.setData(model.index(1, WaterUserDataViewModel::EfficiencyColumn), 0.5);
        QCOMPARE(model.record(1).DepletionReq, 100.0);

        // A replaced model is watched, the old one no longer.
        WaterUserDataViewModel other;
        other.setRecords(threeYears());
        view.setModel(&other);
        model.setData(model.index(1, WaterUserDataViewModel::EfficiencyColumn), 0.25);
        QCOMPARE(model.record(1).DepletionReq, 100.0);
    }

    void pasteThroughTheView()
    {
        WaterUserDataViewModel model;
        model.setRecords(threeYears());
        View view;
        view.setModel(&model);
        view.setCurrentIndex(model.index(0, WaterUserDataViewModel::YearColumn));
        QApplication::clipboard()->setText(QStringLiteral("123456.789\t61728.3945\n0.1\t0.03"));
        QTest::keyClick(&view, Qt::Key_V, Qt::ControlModifier);
        // The stored values keep every digit; the rules of a single cell did not run.
        QCOMPARE(model.record(0).DiversionReq, 123456.789);
        QCOMPARE(model.record(0).DepletionReq, 61728.3945);
        QCOMPARE(model.record(0).EfficiencyRatio, 0.5);
        QCOMPARE(model.record(1).DiversionReq, 0.1);
        QCOMPARE(model.record(1).DepletionReq, 0.03);
        QVERIFY(!MessageInfoBox::boxForKey(QStringLiteral("waterUserDataErrors")));
    }

    void pasteReportsAdjustedYears()
    {
        WaterUserDataViewModel model;
        model.setRecords(threeYears());
        View view;
        view.setModel(&model);
        QApplication::clipboard()->setText(QStringLiteral("0\t0\n100\t1.2"));
        view.pasteDataHandler(model.index(0, 3), Paste::DiversionEfficiency);
        QCOMPARE(model.record(0).EfficiencyRatio, View::ZeroEfficiency);
        QVERIFY(std::isnan(model.record(1).EfficiencyRatio) == false);
        QCOMPARE(model.record(1).EfficiencyRatio, 0.4); // re-derived from depletion 40
        MessageInfoBox* box = MessageInfoBox::boxForKey(QStringLiteral("waterUserDataErrors"));
        QVERIFY(box);
        QCOMPARE(box->windowTitle(), QStringLiteral("Data Errors"));
        QVERIFY(box->message().contains(QLatin1String("<li>2000</li>")));
        QVERIFY(box->message().contains(QLatin1String("<li>2001</li>")));
        box->close();
    }

    void refusedPasteChangesNothing()
    {
        WaterUserDataViewModel model;
        model.setRecords(threeYears());
        View view;
        view.setModel(&model);
        QApplication::clipboard()->setText(QStringLiteral("5\n6\n7"));
        BoxCatcher catcher;
        view.pasteDataHandler(model.index(1, 3), Paste::PlainPaste);
        QCOMPARE(
            catcher.texts, QStringList { QStringLiteral("Pasted data contain too many rows.") });
        QCOMPARE(catcher.titles, QStringList { QStringLiteral("Water User") });
        QCOMPARE(model.record(1).DiversionReq, 100.0);
        QVERIFY(std::isnan(model.record(2).DiversionReq));
    }

    void coefficientPaste_data()
    {
        QTest::addColumn<int>("column");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("error");
        QTest::addColumn<QString>("values"); // "column=value" pairs

        QTest::newRow("three lines into November") << 12 << "1\n2\n3"
                                                   << "Pasted data contains too many values."
                                                   << "";
        QTest::newRow("two lines into November") << 12 << "1\n2\n"
                                                 << ""
                                                 << "12=1 13=2";
        QTest::newRow("empty line skips a month") << 2 << "5\n\n7"
                                                  << ""
                                                  << "2=5 4=7";
        QTest::newRow("not a number") << 2 << "5\nabc"
                                      << "'abc' is not numeric."
                                      << "";
        QTest::newRow("overflow") << 2 << "1e999"
                                  << "'1e999' is not numeric."
                                  << "";
        QTest::newRow("full precision") << 2 << "8.333333333333334"
                                        << ""
                                        << "2=8.333333333333334";
        QTest::newRow("twelve from January")
            << 2 << "1\n2\n3\n4\n5\n6\n7\n8\n9\n10\n11\n12"
            << ""
            << "2=1 3=2 4=3 5=4 6=5 7=6 8=7 9=8 10=9 11=10 12=11 13=12";
    }

    void coefficientPaste()
    {
        QFETCH(int, column);
        QFETCH(QString, text);
        QFETCH(QString, error);
        QFETCH(QString, values);

        QList<Paste::ColumnValue> parsed;
        const TARN::okstat status = Paste::monthlyCoefficients(text, column, parsed);
        QCOMPARE(status.failed() ? status.text() : QString(), error);
        QStringList got;
        for (const auto& value : qAsConst(parsed))
            got << QStringLiteral("%1=%2")
                       .arg(value.first)
                       .arg(QString::number(value.second, 'g', 17).toDouble(), 0, 'g', 16);
        QStringList want = values.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        for (QString& entry : want) {
            const QStringList parts = entry.split(QLatin1Char('='));
            entry = QStringLiteral("%1=%2").arg(
                parts.at(0), QString::number(parts.at(1).toDouble(), 'g', 16));
        }
        QCOMPARE(got, want);
    }

    void coefficientEditorWritesTheModel()
    {
        QStandardItemModel model(1, 14);
        for (int column = 2; column <= 13; ++column)
            model.setData(model.index(0, column), 1.0);
        MonthlyCoefficientLineEdit january(2, &model);
        QCOMPARE(january.placeholderText(), QStringLiteral("0"));
        QApplication::clipboard()->setText(QStringLiteral("5\n\n7.123456789"));
        QTest::keyClick(&january, Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(model.data(model.index(0, 2)).toDouble(), 5.0);
        QCOMPARE(model.data(model.index(0, 3)).toDouble(), 1.0);
        QCOMPARE(model.data(model.index(0, 4)).toDouble(), 7.123456789);
        // The paste key is consumed: the editor's own text is not changed by it.
        QCOMPARE(january.text(), QString());

        MonthlyCoefficientLineEdit november(12, &model);
        QApplication::clipboard()->setText(QStringLiteral("9\n9\n9"));
        BoxCatcher catcher;
        november.pasteCoeffsHandler();
        QCOMPARE(
            catcher.texts, QStringList { QStringLiteral("Pasted data contains too many values.") });
        QCOMPARE(model.data(model.index(0, 12)).toDouble(), 1.0);
    }
};

QTEST_MAIN(TestWaterUserEditors)
#include "tst_waterusereditors.moc"
