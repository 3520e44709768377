// Time rules and the clock's wall-clock conversions. Every case names its zone through a
// FakeClock, so results do not depend on the machine.

#include "record/selection.h"
#include "support/support.h"

#include <QLocale>
#include <QTest>

using namespace zarvo;

namespace {

const QByteArray NY("America/New_York"), BERLIN("Europe/Berlin"), SYDNEY("Australia/Sydney");
const char* const jan = "2026-01-15 12:00";
const char* const jul = "2026-07-15 12:00";

// "yyyy-MM-dd HH:mm[:ss]" as a naive wall-clock value, or as a UTC moment (both are QDateTime
// in Qt::UTC); empty text gives an invalid value.
QDateTime dt(const char* text)
{
    const QString s = QString::fromLatin1(text);
    return s.isEmpty() ? QDateTime()
                       : wallClock(QDate::fromString(s.left(10), Qt::ISODate),
                                   QTime::fromString(s.mid(11), Qt::ISODate));
}

FakeClock clockAt(const QByteArray& zone, const char* wallNow)
{
    return FakeClock(QTimeZone(zone), dt(wallNow));
}

} // namespace

class TstTimeRules : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void stamp_data()
    {
        QTest::addColumn<QByteArray>("zone");
        QTest::addColumn<QString>("stamp");
        QTest::addColumn<QString>("local"); // date text and time text
        const auto row = [](const char* name, const QByteArray& zone, const char* stamp,
                            const char* local) { QTest::newRow(name) << zone << stamp << local; };
        row("own offset", NY, "20031215203000 -0500", "12/15/2003 20:30:00");
        row("back over midnight", NY, "20031216013000 +0100", "12/15/2003 19:30:00");
        row("no zone", BERLIN, "20031215203000", "12/15/2003 20:30:00");
        row("EDT in winter", NY, "20031215203000 EDT", "12/15/2003 19:30:00");
        row("Z no blank", NY, "20031215203000Z", "12/15/2003 15:30:00");
        row("8 digits", NY, "20031215", "12/15/2003 00:00:00");
        // Change-over nights: the wall clock jumps and repeats.
        row("ny first daylight minute", NY, "20260308070000 +0000", "03/08/2026 03:00:00");
        row("ny second 01:30", NY, "20261101063000 +0000", "11/01/2026 01:30:00");
        row("berlin autumn", BERLIN, "20261025010000 +0000", "10/25/2026 02:00:00");
    }
    void stamp()
    {
        QFETCH(QByteArray, zone);
        QFETCH(QString, stamp);
        const std::optional<StampParts> parts = parseStamp(stamp, QTimeZone(zone));
        QVERIFY(parts.has_value());
        QTEST(dateText(parts->date) + QLatin1Char(' ') + timeText(parts->time), "local");
    }

    // Wrong lengths, letters, impossible dates and times, unknown, ambiguous or malformed zones.
    void badStamp()
    {
        const QString stamps = QStringLiteral(
            "|abcdefghijklmn|2003121520300a|2003121520300|200312152|20031315203000|20031232203000|"
            "20030229120000|20031215240000|20031215206000|20031215203000 XYZ|20031215203000 IST|"
            "20031215203000 0500|20031215203000 +0560|20031215203000 +0000 UTC|"
            "\u0662\u0660\u0660\u0663\u0661\u0662\u0661\u0665");
        for (const QString& s : stamps.split(QLatin1Char('|')))
            QVERIFY2(!parseStamp(s, QTimeZone(NY)), qPrintable(s));
    }

    // Day-first order or native digits must not leak into texts the database compares.
    void textsIgnoreLocale()
    {
        const QLocale saved;
        for (const QLocale& locale : {QLocale(QLocale::German, QLocale::Germany),
                                      QLocale(QLocale::Arabic, QLocale::Egypt)}) {
            QLocale::setDefault(locale);
            QCOMPARE(dateText(QDate(2004, 1, 5)), QStringLiteral("01/05/2004"));
            QCOMPARE(timeText(QTime(7, 3, 9)), QStringLiteral("07:03:09"));
            QCOMPARE(recordDate(QDate(2004, 1, 1)), QStringLiteral("20040101"));
            QDateTime d = dt("2004-03-05 09:45");
            QCOMPARE(zarvo::formatDate(d)[0], QStringLiteral("20040305090000 EST"));
        }
        QLocale::setDefault(saved);
    }

    // instant(): a skipped wall time moves on past the jump, a repeated one is its first
    // occurrence; toWall() gives both passes of a repeated hour the same wall time.
    void clock_data()
    {
        QTest::addColumn<QByteArray>("zone");
        QTest::addColumn<QDateTime>("wallTime"); // invalid: only toWall() is checked
        QTest::addColumn<QDateTime>("instant");
        QTest::addColumn<QDateTime>("shown"); // the wall clock at that instant
        const auto row = [](const char* name, const QByteArray& zone, const char* wallTime,
                            const char* instant, const char* shown = nullptr) {
            QTest::newRow(name) << zone << dt(wallTime) << dt(instant)
                                << dt(shown ? shown : wallTime);
        };
        row("ny winter", NY, "2003-12-15 20:00", "2003-12-16 01:00");
        row("ny skipped 02:30", NY, "2026-03-08 02:30", "2026-03-08 07:30", "2026-03-08 03:30");
        row("ny second 01:30", NY, "", "2026-11-01 06:30", "2026-11-01 01:30");
        row("sydney skipped 02:30", SYDNEY, "2026-10-04 02:30", "2026-10-03 16:30",
            "2026-10-04 03:30");
    }
    void clock()
    {
        QFETCH(QByteArray, zone);
        QFETCH(QDateTime, wallTime);
        QFETCH(QDateTime, instant);
        QFETCH(QDateTime, shown);
        FakeClock clock = clockAt(zone, jan);
        QCOMPARE(clock.toWall(instant), shown);
        QCOMPARE(clock.toWall(instant).timeSpec(), Qt::UTC); // naive: not the process zone
        clock.setInstant(instant);
        QCOMPARE(clock.now(), shown);
        if (wallTime.isValid())
            QCOMPARE(clock.instant(wallTime), instant);
    }

    // Every minute of the change-over days and of an ordinary summer and winter day, with today
    // on either side of the year: the hand-off must give the true moment.
    void handOffGivesTrueUtc()
    {
        const std::pair<QByteArray, QDate> days[] = {
            {NY, QDate(2026, 3, 8)},      {NY, QDate(2026, 11, 1)},
            {NY, QDate(2026, 7, 4)},      {NY, QDate(2026, 1, 4)},
            {BERLIN, QDate(2026, 3, 29)}, {BERLIN, QDate(2026, 10, 25)},
            {SYDNEY, QDate(2026, 10, 4)}, {SYDNEY, QDate(2026, 4, 5)},
        };
        for (const auto& [zone, day] : days) {
            for (const char* now : {jan, jul}) {
                const FakeClock clock = clockAt(zone, now);
                for (int minute = 0; minute < 24 * 60; ++minute) {
                    const QDateTime local = wallClock(day, QTime(0, 0).addSecs(minute * 60));
                    const QDateTime trueUtc = clock.instant(local);
                    if (clock.toWall(trueUtc) != local)
                        continue; // a skipped wall time has no true UTC to hand over
                    const QDateTime handed = handOffUtc(local, clock);
                    if (handed != trueUtc)
                        QFAIL(qPrintable(QStringLiteral("%1 %2 %3 today %4: handed %5")
                                             .arg(zone, dateText(day), timeText(local.time()), now,
                                                  handed.toString(Qt::ISODate))));
                }
            }
        }
    }
};

QTEST_GUILESS_MAIN(TstTimeRules)
#include "tst_timerules.moc"
