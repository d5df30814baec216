#include "FuzzTargets.h"

#include "workbook/CompoundFile.h"

#include <QDir>
#include <QFile>
#include <QtEndian>
#include <QtTest>

// Replays every kept fuzz finding through its target, and checks the compound file reader on
// damage of the kinds the fuzzer found, built from a sound file.
class TestFuzzRegressions : public QObject {
    Q_OBJECT

private slots:
    void replay_data();
    void replay();
    void damagedCompoundFile_data();
    void damagedCompoundFile();
};

using Target = void (*)(const uint8_t*, size_t);
Q_DECLARE_METATYPE(Target)

void TestFuzzRegressions::replay_data()
{
    QTest::addColumn<Target>("target");
    QTest::addColumn<QString>("path");
    const std::pair<const char*, Target> targets[] = { { "xlsx", &FuzzTarget::xlsx },
        { "xls", &FuzzTarget::xls }, { "project", &FuzzTarget::project },
        { "paste", &FuzzTarget::paste }, { "inputs", &FuzzTarget::inputs } };
    int count = 0;
    for (const auto& [name, target] : targets) {
        const QDir dir(QStringLiteral(FUZZ_REGRESSIONS_DIR "/%1").arg(QLatin1String(name)));
        const QStringList files = dir.entryList(QDir::Files, QDir::Name);
        for (const QString& file : files) {
            const QString label = QLatin1String(name) + QLatin1Char('/') + file;
            QTest::newRow(qPrintable(label)) << target << dir.filePath(file);
            ++count;
        }
    }
    QVERIFY2(count > 0, "no regression inputs found");
}

void TestFuzzRegressions::replay()
{
    QFETCH(Target, target);
    QFETCH(QString, path);
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray data = file.readAll();
    // Getting through is the check: the sanitizer build reports any bad access here.
    target(reinterpret_cast<const uint8_t*>(data.constData()), static_cast<size_t>(data.size()));
}

namespace {

QByteArray soundCompoundFile()
{
    Workbook::CompoundFile file;
    Workbook::CompoundFile::Entry stream;
    stream.name = QStringLiteral("Workbook");
    stream.data = QByteArray(5000, 'x'); // above the mini stream cutoff: regular sectors
    stream.clsid = QByteArray(16, '\0');
    stream.times = QByteArray(16, '\0');
    file.root().name = QStringLiteral("Root Entry");
    file.root().clsid = QByteArray(16, '\0');
    file.root().times = QByteArray(16, '\0');
    file.root().children.push_back(stream);
    return file.write();
}

void put32(QByteArray& data, int at, quint32 value)
{
    qToLittleEndian<quint32>(value, data.data() + at);
}

} // namespace

void TestFuzzRegressions::damagedCompoundFile_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("mustFail");

    const QByteArray sound = soundCompoundFile();
    QTest::newRow("sound") << sound << false;

    QByteArray miniShift = sound;
    miniShift[32] = char(70); // 1 << 70 mini sector bytes
    QTest::newRow("mini sector shift") << miniShift << true;

    // A cut may leave everything that is in use (trailing free sectors), or take part of it.
    for (const int cut : { 100, 300, 700, 2000, 4000 })
        QTest::newRow(qPrintable(QStringLiteral("cut %1 bytes").arg(cut)))
            << sound.left(sound.size() - cut) << false;
    QTest::newRow("cut inside the header") << sound.left(600) << true;

    // The stream's directory entry made its own left sibling.
    QByteArray loop = sound;
    const quint32 dirStart = qFromLittleEndian<quint32>(loop.constData() + 48);
    put32(loop, static_cast<int>((dirStart + 1) * 512 + 128 + 68), 1);
    QTest::newRow("sibling loop") << loop << true;

    QByteArray fatPastEnd = sound;
    put32(fatPastEnd, 76, 0x7FFFFFF0); // first FAT sector far beyond the file
    QTest::newRow("FAT sector past the end") << fatPastEnd << true;
}

void TestFuzzRegressions::damagedCompoundFile()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, mustFail);
    Workbook::CompoundFile file;
    QString error;
    const bool read = file.read(bytes, &error);
    if (mustFail)
        QVERIFY(!read);
    if (read) {
        // Read means read whole: never a stream cut short.
        const Workbook::CompoundFile::Entry* stream = file.stream(QStringLiteral("Workbook"));
        QVERIFY(stream);
        QCOMPARE(stream->data, QByteArray(5000, 'x'));
    } else {
        QVERIFY(!error.isEmpty());
    }
}

QTEST_MAIN(TestFuzzRegressions)
#include "tst_fuzzregressions.moc"
