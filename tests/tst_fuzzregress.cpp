// Replays every kept fuzzer input (fuzz/corpus/<harness>/) through its harness's checks, so the
// inputs that once crashed a reader or broke one of its promises are tried on every test run,
// not only when someone runs the fuzzers.

#include "fuzz/harnesses.h"

#include <QDir>
#include <QFile>
#include <QTest>

using namespace zarvo::fuzz;

Q_DECLARE_METATYPE(const zarvo::fuzz::Harness*)

class TestFuzzRegress : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void corpusIsThere_data();
    void corpusIsThere();
    void replay_data();
    void replay();
};

void TestFuzzRegress::corpusIsThere_data()
{
    QTest::addColumn<QString>("folder");
    for (const Harness& h : harnesses)
        QTest::newRow(h.name)
            << QStringLiteral(ZARVO_SOURCE_DIR "/fuzz/corpus/%1").arg(QLatin1String(h.name));
}

// A missing or empty folder would let replay() pass on nothing.
void TestFuzzRegress::corpusIsThere()
{
    QFETCH(QString, folder);
    QVERIFY2(!QDir(folder).entryList(QDir::Files).isEmpty(), qPrintable(folder));
}

void TestFuzzRegress::replay_data()
{
    QTest::addColumn<const Harness*>("harness");
    QTest::addColumn<QString>("path");
    for (const Harness& h : harnesses) {
        const QDir folder(
            QStringLiteral(ZARVO_SOURCE_DIR "/fuzz/corpus/%1").arg(QLatin1String(h.name)));
        for (const QString& name : folder.entryList(QDir::Files, QDir::Name))
            QTest::addRow("%s/%s", h.name, qPrintable(name)) << &h << folder.filePath(name);
    }
}

void TestFuzzRegress::replay()
{
    QFETCH(const Harness*, harness);
    QFETCH(QString, path);
    QFile file(path);
    QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(file.errorString()));
    const QString problem = harness->check(file.readAll());
    QVERIFY2(problem.isEmpty(), qPrintable(problem));
}

QTEST_GUILESS_MAIN(TestFuzzRegress)
#include "tst_fuzzregress.moc"
