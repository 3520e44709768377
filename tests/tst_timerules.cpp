// Time rules and the clock's wall-clock conversions. Every case names its zone through a
// FakeClock, so results do not depend on the machine; only systemClockHonoursTz looks at the
// process zone (TZ=America/New_York, set by ctest).

#include "base/clock.h"
#include "record/selection.h"
#include "store/timerules.h"

#include <QLocale>
#include <QTest>
#include <QTimer>

using namespace zarvo;

namespace {

const QByteArray NY("America/New_York"), BERLIN("Europe/Berlin"), SYDNEY("Australia/Sydney"),
    TOKYO("Asia/Tokyo");
const char* const jan = "2026-01-15 12:00";
const char* const jul = "2026-07-15 12:00";

// "yyyy-MM-dd HH:mm[:ss]" as a naive wall-clock value, or as a UTC moment (both are QDateTime
// in Qt::UTC); empty text gives an invalid value.
QDateTime dt(const char* text)
{
    const QString s = QString::fromLatin1(text);
    if (s.isEmpty())
        return {};
    const QDateTime d = wallClock(QDate::fromString(s.left(10), Qt::ISODate),
                                  QTime::fromString(s.mid(11), Qt::ISODate));
    if (!d.isValid())
        qFatal("bad test time %s", text);
    return d;
}

FakeClock clockAt(const QByteArray& zone, const char* wallNow)
{
    const QTimeZone tz(zone);
    if (!tz.isValid())
        qFatal("unknown zone %s", zone.constData());
    return FakeClock(tz, dt(wallNow));
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
        row("utc midnight", "UTC", "20031215000000 +0000", "12/15/2003 00:00:00");
        row("own offset", NY, "20031215203000 -0500", "12/15/2003 20:30:00");
        row("back over midnight", NY, "20031216013000 +0100", "12/15/2003 19:30:00");
        row("colon half hour", NY, "20031215120000 +05:30", "12/15/2003 01:30:00");
        row("berlin summer", BERLIN, "20260701120000 +0000", "07/01/2026 14:00:00");
        row("berlin over midnight", BERLIN, "20031215203000 -0500", "12/16/2003 02:30:00");
        row("whitespace", NY, "  20031215203000   -0500 \n", "12/15/2003 20:30:00");
        row("no zone", BERLIN, "20031215203000", "12/15/2003 20:30:00");
        row("EDT in winter", NY, "20031215203000 EDT", "12/15/2003 19:30:00");
        row("pst lower case", NY, "20031215203000 pst", "12/15/2003 23:30:00");
        row("Z no blank", NY, "20031215203000Z", "12/15/2003 15:30:00");
        row("BST", BERLIN, "20260701120000 BST", "07/01/2026 13:00:00");
        row("ACST", BERLIN, "20260101120000 ACST", "01/01/2026 03:30:00");
        row("8 digits", NY, "20031215", "12/15/2003 00:00:00");
        row("12 digits zoned", NY, "200312152030 +0000", "12/15/2003 15:30:00");
        // Change-over nights: the wall clock jumps and repeats.
        row("ny last standard minute", NY, "20260308065900 +0000", "03/08/2026 01:59:00");
        row("ny first daylight minute", NY, "20260308070000 +0000", "03/08/2026 03:00:00");
        row("ny first 01:30", NY, "20261101053000 +0000", "11/01/2026 01:30:00");
        row("ny second 01:30", NY, "20261101063000 +0000", "11/01/2026 01:30:00");
        row("berlin spring", BERLIN, "20260329010000 +0000", "03/29/2026 03:00:00");
        row("berlin autumn", BERLIN, "20261025010000 +0000", "10/25/2026 02:00:00");
    }
    void stamp()
    {
        QFETCH(QByteArray, zone);
        QFETCH(QString, stamp);
        QFETCH(QString, local);
        const std::optional<StampParts> parts = parseStamp(stamp, QTimeZone(zone));
        QVERIFY(parts.has_value());
        QCOMPARE(dateText(parts->date) + QLatin1Char(' ') + timeText(parts->time), local);
    }

    void badStamp_data()
    {
        QTest::addColumn<QString>("stamp");
        // Wrong lengths, letters, impossible dates and times, unknown, ambiguous or malformed
        // zones.
        const QString stamps = QStringLiteral(
            "|   |abcdefghijklmn|2003121520300a|2003121520300|200312152|200312152030000|"
            "20031315203000|20030015203000|20031232203000|20030229120000|20031215240000|"
            "20031215206000|20031215203060|20031215203000 XYZ|20031215203000 IST|"
            "20031215203000 0500|20031215203000 +05|20031215203000 +0560|20031215203000 +1500|"
            "20031215203000 +0000 UTC|+0000|\u0662\u0660\u0660\u0663\u0661\u0662\u0661\u0665");
        for (const QString& s : stamps.split(QLatin1Char('|')))
            QTest::newRow(qPrintable(s)) << s;
    }
    void badStamp()
    {
        QFETCH(QString, stamp);
        QVERIFY(!parseStamp(stamp, QTimeZone(NY)));
    }

    void textsIgnoreLocale()
    {
        // Day-first order or native digits must not leak into texts the database compares.
        const QLocale saved;
        for (const QLocale& locale : {QLocale(QLocale::German, QLocale::Germany),
                                      QLocale(QLocale::Arabic, QLocale::Egypt)}) {
            QLocale::setDefault(locale);
            QCOMPARE(dateText(QDate(2004, 1, 5)), QStringLiteral("01/05/2004"));
            QCOMPARE(timeText(QTime(7, 3, 9)), QStringLiteral("07:03:09"));
            QCOMPARE(recordDate(QDate(2004, 1, 1)), QStringLiteral("20040101"));
            QDateTime d = dt("2004-03-05 09:45");
            QCOMPARE(zarvo::formatDate(d)[0], QStringLiteral("20040305090000 EST"));
            QCOMPARE(dstEnd(clockAt(NY, jul)), QStringLiteral("11/1/2026 2:00 AM"));
        }
        QLocale::setDefault(saved);
    }

    // FormatDate, the day file name, RecordDate and the weekday number of one date.
    void formatDate_data()
    {
        QTest::addColumn<QDateTime>("theDate");
        QTest::addColumn<QString>("first"); // hour stamp 0; its first eight digits name the file
        QTest::addColumn<int>("dayNumber");
        const auto row = [](const char* name, const char* theDate, const char* first, int day) {
            QTest::newRow(name) << dt(theDate) << first << day;
        };
        row("9:45 AM", "2004-03-05 09:45", "20040305090000 EST", 6);
        row("8:10 PM", "2003-12-15 20:10", "20031215200000 EST", 2);
        row("midnight", "2004-01-01 00:00", "20040101000000 EST", 5);
        row("into next year", "2003-12-31 23:45", "20031231230000 EST", 4);
        row("sunday", "2003-12-14 00:00", "20031214000000 EST", 1);
        row("leap saturday", "2004-02-28 05:00", "20040228050000 EST", 7);
    }
    void formatDate()
    {
        QFETCH(QDateTime, theDate);
        QFETCH(QString, first);
        QFETCH(int, dayNumber);
        const QDateTime original = theDate;
        const HourStamps stamps = zarvo::formatDate(theDate);
        QCOMPARE(stamps[0], first);
        QCOMPARE(stamps[1], first.left(10) + QStringLiteral("3000 EST"));
        QCOMPARE(theDate, original.addSecs(30 * 60));
        const QString fileName = first.left(8) + QStringLiteral(".xml");
        QCOMPARE(dayFileName(stamps), fileName);
        QCOMPARE(dayFileName(original.date()), fileName);
        QCOMPARE(recordDate(original.date()), first.left(8));
        QCOMPARE(zarvo::dayNumber(original.date()), dayNumber);
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
        row("ny last standard s", NY, "", "2026-03-08 06:59:59", "2026-03-08 01:59:59");
        row("ny skipped 02:30", NY, "2026-03-08 02:30", "2026-03-08 07:30", "2026-03-08 03:30");
        row("ny first daylight s", NY, "2026-03-08 03:00", "2026-03-08 07:00");
        row("ny first 01:30", NY, "2026-11-01 01:30", "2026-11-01 05:30");
        row("ny second 01:30", NY, "", "2026-11-01 06:30", "2026-11-01 01:30");
        row("berlin first 02:30", BERLIN, "2026-10-25 02:30", "2026-10-25 00:30");
        row("berlin second 02:30", BERLIN, "", "2026-10-25 01:30", "2026-10-25 02:30");
        row("berlin after autumn", BERLIN, "2026-10-25 03:00", "2026-10-25 02:00");
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
        const QDateTime result = clock.toWall(instant);
        QCOMPARE(result, shown);
        QCOMPARE(result.timeSpec(), Qt::UTC); // naive: must not follow the process zone
        clock.setInstant(instant);
        QCOMPARE(clock.now(), shown);
        if (wallTime.isValid()) {
            QCOMPARE(clock.instant(wallTime), instant);
            QCOMPARE(FakeClock(QTimeZone(zone), wallTime).currentInstant(), instant);
        }
    }

    void systemClockHonoursTz()
    {
        if (qgetenv("TZ") != NY)
            QSKIP("run through ctest, which sets TZ=America/New_York");
        const SystemClock clock;
        QCOMPARE(clock.zone().id(), NY);
        const QDateTime local = QDateTime::currentDateTime();
        QVERIFY(qAbs(wallClock(local.date(), local.time()).secsTo(clock.now())) <= 2);
        QVERIFY(qAbs(clock.currentInstant().secsTo(QDateTime::currentDateTimeUtc())) <= 2);
        QCOMPARE(zarvo::isDaylightTime(clock), local.isDaylightTime());
    }

    void daylight_data()
    {
        QTest::addColumn<QByteArray>("zone");
        QTest::addColumn<QDateTime>("wallNow");
        QTest::addColumn<int>("laterSecs"); // moved on after setting the wall time
        QTest::addColumn<bool>("daylight");
        const auto row = [](const char* name, const QByteArray& zone, const char* now, int later,
                            bool daylight) {
            QTest::newRow(name) << zone << dt(now) << later << daylight;
        };
        row("ny january", NY, jan, 0, false);
        row("ny july", NY, jul, 0, true);
        row("ny 01:59:59 spring", NY, "2026-03-08 01:59:59", 0, false);
        row("ny 03:00 spring", NY, "2026-03-08 03:00", 0, true);
        row("ny first 01:30", NY, "2026-11-01 01:30", 0, true);
        row("ny second 01:30", NY, "2026-11-01 01:30", 3600, false);
        row("ny 2003 rules", NY, "2003-10-25 23:59", 0, true);
        row("berlin 03:00 spring", BERLIN, "2026-03-29 03:00", 0, true);
        row("berlin first 02:30", BERLIN, "2026-10-25 02:30", 0, true);
        row("berlin second 02:30", BERLIN, "2026-10-25 02:30", 3600, false);
        row("berlin 03:00 autumn", BERLIN, "2026-10-25 03:00", 0, false);
        row("tokyo july", TOKYO, jul, 0, false);
        row("sydney january", SYDNEY, jan, 0, true);
        row("sydney july", SYDNEY, jul, 0, false);
    }
    void daylight()
    {
        QFETCH(QByteArray, zone);
        QFETCH(QDateTime, wallNow);
        QFETCH(int, laterSecs);
        QFETCH(bool, daylight);
        FakeClock clock(QTimeZone(zone), wallNow);
        clock.advanceSeconds(laterSecs);
        QCOMPARE(zarvo::isDaylightTime(clock), daylight);
    }

    void changeOvers()
    {
        // This year's change-over moments as wall-clock text; none in a zone without them.
        const struct
        {
            QByteArray zone;
            const char *now, *start, *end;
        } cases[] = {
            {NY, "2026-12-31 23:59", "3/8/2026 2:00 AM", "11/1/2026 2:00 AM"},
            {NY, "2003-12-15 20:00", "4/6/2003 2:00 AM", "10/26/2003 2:00 AM"},
            {NY, "2007-01-01 00:00", "3/11/2007 2:00 AM", "11/4/2007 2:00 AM"},
            {BERLIN, jan, "3/29/2026 2:00 AM", "10/25/2026 3:00 AM"},
            {SYDNEY, jul, "10/4/2026 2:00 AM", "4/5/2026 3:00 AM"},
            {"Asia/Beirut", jul, "3/29/2026 12:00 AM", "10/25/2026 12:00 AM"},
            {TOKYO, jul, "", ""},
        };
        for (const auto& c : cases) {
            const FakeClock clock = clockAt(c.zone, c.now);
            QCOMPARE(dstStart(clock) + " - " + dstEnd(clock), QString(c.start) + " - " + c.end);
        }
    }

    void toUtc()
    {
        // Only the standard offset counts, also while today or the value is in summer time.
        QCOMPARE(zarvo::toUtc(dt("2003-12-15 20:00"), clockAt(NY, jan)), dt("2003-12-16 01:00"));
        QCOMPARE(zarvo::toUtc(dt("2026-07-01 20:00"), clockAt(NY, jul)), dt("2026-07-02 01:00"));
        QCOMPARE(zarvo::toUtc(dt("2026-07-01 00:30"), clockAt(BERLIN, jul)),
                 dt("2026-06-30 23:30"));
        QCOMPARE(zarvo::toUtc(dt("2026-07-01 06:00"), clockAt("Asia/Kolkata", jul)),
                 dt("2026-07-01 00:30"));
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
