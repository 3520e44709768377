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
    void replay_data()
    {
        QTest::addColumn<const Harness*>("harness");
        QTest::addColumn<QString>("path");
        for (const Harness& h : harnesses) {
            const QDir folder(
                QStringLiteral(ZARVO_SOURCE_DIR "/fuzz/corpus/%1").arg(QLatin1String(h.name)));
            const QStringList names = folder.entryList(QDir::Files, QDir::Name);
            // A missing or empty folder would let replay() pass on nothing.
            QVERIFY2(!names.isEmpty(), qPrintable(folder.path()));
            for (const QString& name : names)
                QTest::addRow("%s/%s", h.name, qPrintable(name)) << &h << folder.filePath(name);
        }
    }
    void replay()
    {
        QFETCH(const Harness*, harness);
        QFETCH(QString, path);
        QFile file(path);
        QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(file.errorString()));
        const QString problem = harness->check(file.readAll());
        QVERIFY2(problem.isEmpty(), qPrintable(problem));
    }
};

QTEST_GUILESS_MAIN(TestFuzzRegress)
#include "tst_fuzzregress.moc"
