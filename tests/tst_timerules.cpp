// Time rules and the clock's wall-clock conversions. Every case names its zone through a
// FakeClock, so results do not depend on the machine; only systemClockHonoursTz looks at the
// process zone (TZ=America/New_York, set by ctest).

#include "app/clock.h"
#include "store/timerules.h"

#include <QLocale>
#include <QTest>
#include <QTimer>

using namespace zarvo;

namespace {

const QByteArray NY("America/New_York");
const QByteArray BERLIN("Europe/Berlin");
const QByteArray SYDNEY("Australia/Sydney");
const QByteArray TOKYO("Asia/Tokyo");

QDateTime wall(int y, int mo, int d, int h = 0, int mi = 0, int s = 0)
{
    return wallClock(QDate(y, mo, d), QTime(h, mi, s));
}

QDateTime utc(int y, int mo, int d, int h = 0, int mi = 0)
{
    return QDateTime(QDate(y, mo, d), QTime(h, mi), Qt::UTC);
}

FakeClock clockAt(const QByteArray& zone, const QDateTime& wallNow)
{
    const QTimeZone tz(zone);
    if (!tz.isValid())
        qFatal("unknown zone %s", zone.constData());
    return FakeClock(tz, wallNow);
}

const QDateTime jan = wall(2026, 1, 15, 12);
const QDateTime jul = wall(2026, 7, 15, 12);

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

        // Numeric offsets.
        row("utc midnight", "UTC", "20031215000000 +0000", "12/15/2003 00:00:00");
        row("own offset", NY, "20031215203000 -0500", "12/15/2003 20:30:00");
        row("utc to ny", NY, "20031215203000 +0000", "12/15/2003 15:30:00");
        row("back over midnight", NY, "20031216013000 +0100", "12/15/2003 19:30:00");
        row("half hour offset", NY, "20031215120000 +0530", "12/15/2003 01:30:00");
        row("colon offset", NY, "20031215120000 +05:30", "12/15/2003 01:30:00");
        row("ny summer", NY, "20260701120000 +0000", "07/01/2026 08:00:00");
        row("berlin winter", BERLIN, "20031215203000 +0000", "12/15/2003 21:30:00");
        row("berlin summer", BERLIN, "20260701120000 +0000", "07/01/2026 14:00:00");
        row("berlin over midnight", BERLIN, "20031215203000 -0500", "12/16/2003 02:30:00");
        // Layout.
        row("no blank", NY, "20031215203000+0100", "12/15/2003 14:30:00");
        row("whitespace", NY, "  20031215203000   -0500 \n", "12/15/2003 20:30:00");
        row("no zone", BERLIN, "20031215203000", "12/15/2003 20:30:00");
        // Names.
        row("EST", NY, "20031215203000 EST", "12/15/2003 20:30:00");
        row("EDT in winter", NY, "20031215203000 EDT", "12/15/2003 19:30:00");
        row("pst lower case", NY, "20031215203000 pst", "12/15/2003 23:30:00");
        row("Z no blank", NY, "20031215203000Z", "12/15/2003 15:30:00");
        row("GMT", BERLIN, "20031215203000 GMT", "12/15/2003 21:30:00");
        row("BST", BERLIN, "20260701120000 BST", "07/01/2026 13:00:00");
        row("CEST", NY, "20260701120000 CEST", "07/01/2026 06:00:00");
        row("AEST", BERLIN, "20260701120000 AEST", "07/01/2026 04:00:00");
        row("ACST", BERLIN, "20260101120000 ACST", "01/01/2026 03:30:00");
        row("AWST", BERLIN, "20260101120000 AWST", "01/01/2026 05:00:00");
        // Short stamps are completed with zeros, with or without a zone.
        row("8 digits", NY, "20031215", "12/15/2003 00:00:00");
        row("10 digits", NY, "2003121520", "12/15/2003 20:00:00");
        row("12 digits", NY, "200312152030", "12/15/2003 20:30:00");
        row("12 digits zoned", NY, "200312152030 +0000", "12/15/2003 15:30:00");
        row("8 digits zoned", BERLIN, "20031215 +0000", "12/15/2003 01:00:00");
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
        const char* const stamps[][2] = {
            {"empty", ""},
            {"blank", "   "},
            {"letters", "abcdefghijklmn"},
            {"letter inside", "2003121520300a"},
            {"13 digits", "2003121520300"},
            {"9 digits", "200312152"},
            {"15 digits", "200312152030000"},
            {"month 13", "20031315203000"},
            {"month 0", "20030015203000"},
            {"day 32", "20031232203000"},
            {"29 Feb not leap", "20030229120000"},
            {"hour 24", "20031215240000"},
            {"minute 60", "20031215206000"},
            {"second 60", "20031215203060"},
            {"unknown name", "20031215203000 XYZ"},
            {"ambiguous name", "20031215203000 IST"},
            {"unsigned offset", "20031215203000 0500"},
            {"short offset", "20031215203000 +05"},
            {"offset minutes 60", "20031215203000 +0560"},
            {"offset beyond 14 h", "20031215203000 +1500"},
            {"two zones", "20031215203000 +0000 UTC"},
            {"zone only", "+0000"},
            {"foreign digits", "\u0662\u0660\u0660\u0663\u0661\u0662\u0661\u0665"},
        };
        for (const auto& s : stamps)
            QTest::newRow(s[0]) << QString::fromUtf8(s[1]);
    }

    void badStamp()
    {
        QFETCH(QString, stamp);
        QCOMPARE(parseStamp(stamp, QTimeZone(NY)).has_value(), false);
    }

    void textsIgnoreLocale()
    {
        // German puts the day first, Egyptian Arabic has its own digits: neither may leak into
        // texts that the database compares.
        const QLocale saved;
        for (const QLocale& locale : {QLocale(QLocale::German, QLocale::Germany),
                                      QLocale(QLocale::Arabic, QLocale::Egypt)}) {
            QLocale::setDefault(locale);
            QCOMPARE(dateText(QDate(2004, 1, 5)), QStringLiteral("01/05/2004"));
            QCOMPARE(timeText(QTime(7, 3, 9)), QStringLiteral("07:03:09"));
            QCOMPARE(recordDate(QDate(2004, 1, 1)), QStringLiteral("20040101"));
            QDateTime d = wall(2004, 3, 5, 9, 45);
            QCOMPARE(zarvo::formatDate(d)[0], QStringLiteral("20040305090000 EST"));
            QCOMPARE(dstEnd(clockAt(NY, jul)), QStringLiteral("11/1/2026 2:00 AM"));
        }
        QLocale::setDefault(saved);
    }

    void formatDate_data()
    {
        QTest::addColumn<QDateTime>("theDate");
        QTest::addColumn<QString>("first");
        QTest::addColumn<QDateTime>("advanced");
        QTest::addColumn<QString>("fileName");

        QTest::newRow("9:45 AM 5 March 2004") << wall(2004, 3, 5, 9, 45) << "20040305090000 EST"
                                              << wall(2004, 3, 5, 10, 15) << "20040305.xml";
        QTest::newRow("8:10 PM") << wall(2003, 12, 15, 20, 10) << "20031215200000 EST"
                                 << wall(2003, 12, 15, 20, 40) << "20031215.xml";
        QTest::newRow("midnight") << wall(2004, 1, 1) << "20040101000000 EST"
                                  << wall(2004, 1, 1, 0, 30) << "20040101.xml";
        QTest::newRow("into next year") << wall(2003, 12, 31, 23, 45) << "20031231230000 EST"
                                        << wall(2004, 1, 1, 0, 15) << "20031231.xml";
    }

    void formatDate()
    {
        QFETCH(QDateTime, theDate);
        QFETCH(QString, first);
        QFETCH(QDateTime, advanced);
        QFETCH(QString, fileName);

        const QDate original = theDate.date();
        const HourStamps stamps = zarvo::formatDate(theDate);
        QCOMPARE(stamps[0], first);
        QCOMPARE(stamps[1], first.left(10) + QStringLiteral("3000 EST"));
        QCOMPARE(theDate, advanced);
        QCOMPARE(dayFileName(stamps), fileName);
        QCOMPARE(dayFileName(original), fileName);
        QCOMPARE(recordDate(original) + QStringLiteral(".xml"), fileName);
    }

    void dayNumber_data()
    {
        QTest::addColumn<QDate>("date");
        QTest::addColumn<int>("number");
        QTest::newRow("sunday") << QDate(2003, 12, 14) << 1;
        QTest::newRow("monday") << QDate(2003, 12, 15) << 2;
        QTest::newRow("wednesday") << QDate(2003, 12, 17) << 4;
        QTest::newRow("saturday") << QDate(2003, 12, 20) << 7;
        QTest::newRow("leap sunday") << QDate(2004, 2, 29) << 1;
    }

    void dayNumber()
    {
        QFETCH(QDate, date);
        QFETCH(int, number);
        QCOMPARE(zarvo::dayNumber(date), number);
    }

    void clockInstant_data()
    {
        QTest::addColumn<QByteArray>("zone");
        QTest::addColumn<QDateTime>("wallTime");
        QTest::addColumn<QDateTime>("instant");
        QTest::addColumn<QDateTime>("shown"); // the wall clock at that moment
        const auto row = [](const char* name, const QByteArray& zone, const QDateTime& w,
                            const QDateTime& instant, const QDateTime& shown) {
            QTest::newRow(name) << zone << w << instant << shown;
        };

        row("ny winter", NY, wall(2003, 12, 15, 20), utc(2003, 12, 16, 1), wall(2003, 12, 15, 20));
        row("ny before spring", NY, wall(2026, 3, 8, 1, 59), utc(2026, 3, 8, 6, 59),
            wall(2026, 3, 8, 1, 59));
        row("ny skipped 02:00", NY, wall(2026, 3, 8, 2), utc(2026, 3, 8, 7), wall(2026, 3, 8, 3));
        row("ny skipped 02:30", NY, wall(2026, 3, 8, 2, 30), utc(2026, 3, 8, 7, 30),
            wall(2026, 3, 8, 3, 30));
        row("ny after spring", NY, wall(2026, 3, 8, 3), utc(2026, 3, 8, 7), wall(2026, 3, 8, 3));
        row("ny repeated 01:30", NY, wall(2026, 11, 1, 1, 30), utc(2026, 11, 1, 5, 30),
            wall(2026, 11, 1, 1, 30));
        row("ny after autumn", NY, wall(2026, 11, 1, 2), utc(2026, 11, 1, 7), wall(2026, 11, 1, 2));
        row("berlin skipped 02:30", BERLIN, wall(2026, 3, 29, 2, 30), utc(2026, 3, 29, 1, 30),
            wall(2026, 3, 29, 3, 30));
        row("berlin after spring", BERLIN, wall(2026, 3, 29, 3), utc(2026, 3, 29, 1),
            wall(2026, 3, 29, 3));
        row("berlin repeated 02:30", BERLIN, wall(2026, 10, 25, 2, 30), utc(2026, 10, 25, 0, 30),
            wall(2026, 10, 25, 2, 30));
        row("berlin after autumn", BERLIN, wall(2026, 10, 25, 3), utc(2026, 10, 25, 2),
            wall(2026, 10, 25, 3));
        row("sydney skipped 02:30", SYDNEY, wall(2026, 10, 4, 2, 30), utc(2026, 10, 3, 16, 30),
            wall(2026, 10, 4, 3, 30));
        row("sydney repeated 02:30", SYDNEY, wall(2026, 4, 5, 2, 30), utc(2026, 4, 4, 15, 30),
            wall(2026, 4, 5, 2, 30));
        row("tokyo", TOKYO, wall(2026, 7, 1, 9), utc(2026, 7, 1, 0), wall(2026, 7, 1, 9));
    }

    void clockInstant()
    {
        QFETCH(QByteArray, zone);
        QFETCH(QDateTime, wallTime);
        QFETCH(QDateTime, instant);
        QFETCH(QDateTime, shown);

        const FakeClock clock = clockAt(zone, wallTime);
        QCOMPARE(clock.instant(wallTime), instant);
        QCOMPARE(clock.currentInstant(), instant);
        QCOMPARE(clock.now(), shown);
    }

    void clockToWall_data()
    {
        QTest::addColumn<QByteArray>("zone");
        QTest::addColumn<QDateTime>("instant");
        QTest::addColumn<QDateTime>("wallTime");

        QTest::newRow("ny last standard second")
            << NY << utc(2026, 3, 8, 6, 59).addSecs(59) << wall(2026, 3, 8, 1, 59, 59);
        QTest::newRow("ny first daylight second")
            << NY << utc(2026, 3, 8, 7) << wall(2026, 3, 8, 3);
        QTest::newRow("ny first 01:30")
            << NY << utc(2026, 11, 1, 5, 30) << wall(2026, 11, 1, 1, 30);
        QTest::newRow("ny second 01:30")
            << NY << utc(2026, 11, 1, 6, 30) << wall(2026, 11, 1, 1, 30);
        QTest::newRow("berlin first 02:30")
            << BERLIN << utc(2026, 10, 25, 0, 30) << wall(2026, 10, 25, 2, 30);
        QTest::newRow("berlin second 02:30")
            << BERLIN << utc(2026, 10, 25, 1, 30) << wall(2026, 10, 25, 2, 30);
    }

    void clockToWall()
    {
        QFETCH(QByteArray, zone);
        QFETCH(QDateTime, instant);
        QFETCH(QDateTime, wallTime);

        FakeClock clock = clockAt(zone, jan);
        const QDateTime result = clock.toWall(instant);
        QCOMPARE(result, wallTime);
        QCOMPARE(result.timeSpec(), Qt::UTC); // naive: must not follow the process zone
        clock.setInstant(instant);
        QCOMPARE(clock.now(), wallTime);
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
        const auto row = [](const char* name, const QByteArray& zone, const QDateTime& w, int later,
                            bool daylight) {
            QTest::newRow(name) << zone << w << later << daylight;
        };

        row("ny january", NY, jan, 0, false);
        row("ny july", NY, jul, 0, true);
        row("ny 00:30 spring", NY, wall(2026, 3, 8, 0, 30), 0, false);
        row("ny 01:59:59 spring", NY, wall(2026, 3, 8, 1, 59, 59), 0, false);
        row("ny 03:00 spring", NY, wall(2026, 3, 8, 3), 0, true);
        row("ny 00:59 autumn", NY, wall(2026, 11, 1, 0, 59), 0, true);
        row("ny first 01:30", NY, wall(2026, 11, 1, 1, 30), 0, true);
        row("ny second 01:30", NY, wall(2026, 11, 1, 1, 30), 3600, false);
        row("ny 02:00 autumn", NY, wall(2026, 11, 1, 2), 0, false);
        row("ny 2003 rules", NY, wall(2003, 10, 25, 23, 59), 0, true);
        row("berlin 01:59 spring", BERLIN, wall(2026, 3, 29, 1, 59), 0, false);
        row("berlin 03:00 spring", BERLIN, wall(2026, 3, 29, 3), 0, true);
        row("berlin first 02:30", BERLIN, wall(2026, 10, 25, 2, 30), 0, true);
        row("berlin second 02:30", BERLIN, wall(2026, 10, 25, 2, 30), 3600, false);
        row("berlin 03:00 autumn", BERLIN, wall(2026, 10, 25, 3), 0, false);
        row("tokyo july", TOKYO, jul, 0, false);
        row("tokyo january", TOKYO, jan, 0, false);
        row("sydney january", SYDNEY, jan, 0, true);
        row("sydney july", SYDNEY, jul, 0, false);
        row("sydney 03:00 october", SYDNEY, wall(2026, 10, 4, 3), 0, true);
        row("sydney 03:00 april", SYDNEY, wall(2026, 4, 5, 3), 0, false);
    }

    void daylight()
    {
        QFETCH(QByteArray, zone);
        QFETCH(QDateTime, wallNow);
        QFETCH(int, laterSecs);
        QFETCH(bool, daylight);

        FakeClock clock = clockAt(zone, wallNow);
        clock.advanceSeconds(laterSecs);
        QCOMPARE(zarvo::isDaylightTime(clock), daylight);
    }

    void changeOvers_data()
    {
        QTest::addColumn<QByteArray>("zone");
        QTest::addColumn<QDateTime>("wallNow");
        QTest::addColumn<QString>("start");
        QTest::addColumn<QString>("end");
        const auto row = [](const char* name, const QByteArray& zone, const QDateTime& w,
                            const char* start,
                            const char* end) { QTest::newRow(name) << zone << w << start << end; };

        row("ny 2026", NY, jul, "3/8/2026 2:00 AM", "11/1/2026 2:00 AM");
        row("ny 2026 last minute", NY, wall(2026, 12, 31, 23, 59), "3/8/2026 2:00 AM",
            "11/1/2026 2:00 AM");
        row("ny 2003", NY, wall(2003, 12, 15, 20), "4/6/2003 2:00 AM", "10/26/2003 2:00 AM");
        row("ny 2007", NY, wall(2007, 1, 1), "3/11/2007 2:00 AM", "11/4/2007 2:00 AM");
        row("berlin", BERLIN, jan, "3/29/2026 2:00 AM", "10/25/2026 3:00 AM");
        row("sydney", SYDNEY, jul, "10/4/2026 2:00 AM", "4/5/2026 3:00 AM");
        row("beirut midnight", "Asia/Beirut", jul, "3/29/2026 12:00 AM", "10/25/2026 12:00 AM");
        row("tokyo", TOKYO, jul, "", "");
        row("utc", "UTC", jul, "", "");
    }

    void changeOvers()
    {
        QFETCH(QByteArray, zone);
        QFETCH(QDateTime, wallNow);
        QFETCH(QString, start);
        QFETCH(QString, end);

        const FakeClock clock = clockAt(zone, wallNow);
        QCOMPARE(dstStart(clock), start);
        QCOMPARE(dstEnd(clock), end);
    }

    void toUtc_data()
    {
        QTest::addColumn<QByteArray>("zone");
        QTest::addColumn<QDateTime>("wallNow");
        QTest::addColumn<QDateTime>("local");
        QTest::addColumn<QDateTime>("expected");

        // Only the standard offset counts, also while today is in summer time.
        QTest::newRow("ny 8 PM") << NY << jan << wall(2003, 12, 15, 20) << utc(2003, 12, 16, 1);
        QTest::newRow("ny summer") << NY << jul << wall(2026, 7, 1, 20) << utc(2026, 7, 2, 1);
        QTest::newRow("berlin") << BERLIN << jan << wall(2003, 12, 15, 20, 30)
                                << utc(2003, 12, 15, 19, 30);
        QTest::newRow("berlin summer")
            << BERLIN << jul << wall(2026, 7, 1, 0, 30) << utc(2026, 6, 30, 23, 30);
        QTest::newRow("kolkata") << QByteArray("Asia/Kolkata") << jul << wall(2026, 7, 1, 6)
                                 << utc(2026, 7, 1, 0, 30);
        QTest::newRow("utc") << QByteArray("UTC") << jul << wall(2026, 7, 1, 6)
                             << utc(2026, 7, 1, 6);
    }

    void toUtc()
    {
        QFETCH(QByteArray, zone);
        QFETCH(QDateTime, wallNow);
        QFETCH(QDateTime, local);
        QFETCH(QDateTime, expected);
        QCOMPARE(zarvo::toUtc(local, clockAt(zone, wallNow)), expected);
    }

    void correction_data()
    {
        QTest::addColumn<QByteArray>("zone");
        QTest::addColumn<QDateTime>("wallNow");
        QTest::addColumn<int>("adjustDST");
        QTest::addColumn<QDateTime>("value");
        QTest::addColumn<QDateTime>("at");
        QTest::addColumn<QDateTime>("expected");
        const auto row = [](const char* name, const QByteArray& zone, const QDateTime& now,
                            int adjust, const QDateTime& value, const QDateTime& at,
                            const QDateTime& expected) {
            QTest::newRow(name) << zone << now << adjust << value << at << expected;
        };
        const QDateTime none;
        const QDateTime nyJul = wall(2026, 7, 1, 20);

        // Off: nothing moves, whatever the season of today or of the value.
        row("0 summer", NY, jul, 0, nyJul, none, nyJul);
        row("0 winter", NY, jan, 0, wall(2026, 1, 1, 20), none, wall(2026, 1, 1, 20));
        row("0 at summer", BERLIN, jul, 0, utc(2026, 7, 1, 18), nyJul, utc(2026, 7, 1, 18));
        row("2 is not 1", NY, jul, 2, nyJul, none, nyJul);
        // On: the value's own moment decides, not today.
        row("summer value", NY, jul, 1, nyJul, none, wall(2026, 7, 1, 19));
        row("summer value, winter today", NY, jan, 1, nyJul, none, wall(2026, 7, 1, 19));
        row("winter value, summer today", NY, jul, 1, wall(2026, 12, 1, 20), none,
            wall(2026, 12, 1, 20));
        row("00:30 to the day before", NY, jul, 1, wall(2026, 7, 2, 0, 30), none,
            wall(2026, 7, 1, 23, 30));
        row("ny spring 01:59", NY, jan, 1, wall(2026, 3, 8, 1, 59), none, wall(2026, 3, 8, 1, 59));
        row("ny spring 03:00", NY, jan, 1, wall(2026, 3, 8, 3), none, wall(2026, 3, 8, 2));
        row("ny first 01:30", NY, jan, 1, wall(2026, 11, 1, 1, 30), none, wall(2026, 11, 1, 0, 30));
        row("ny autumn 02:00", NY, jul, 1, wall(2026, 11, 1, 2), none, wall(2026, 11, 1, 2));
        // With `at`, the local value gives the moment while the UTC value is moved.
        row("berlin at summer", BERLIN, jan, 1, utc(2026, 7, 1, 19), wall(2026, 7, 1, 20),
            utc(2026, 7, 1, 18));
        row("berlin at winter", BERLIN, jul, 1, utc(2026, 10, 25, 2), wall(2026, 10, 25, 3),
            utc(2026, 10, 25, 2));
        row("berlin at first 02:30", BERLIN, jul, 1, utc(2026, 10, 25, 1, 30),
            wall(2026, 10, 25, 2, 30), utc(2026, 10, 25, 0, 30));
        row("sydney january", SYDNEY, jul, 1, wall(2026, 1, 15, 20), none, wall(2026, 1, 15, 19));
        row("tokyo", TOKYO, jul, 1, nyJul, none, nyJul);
    }

    void correction()
    {
        QFETCH(QByteArray, zone);
        QFETCH(QDateTime, wallNow);
        QFETCH(int, adjustDST);
        QFETCH(QDateTime, value);
        QFETCH(QDateTime, at);
        QFETCH(QDateTime, expected);
        QCOMPARE(daylightCorrection(value, adjustDST, clockAt(zone, wallNow), at), expected);
    }

    void handOffGivesTrueUtc_data()
    {
        QTest::addColumn<QByteArray>("zone");
        QTest::addColumn<QDate>("day");
        QTest::addColumn<QDateTime>("wallNow");

        // Every minute of the change-over days and of an ordinary summer and winter day, with
        // today on either side of the year.
        const std::pair<QByteArray, QDate> days[] = {
            {NY, QDate(2026, 3, 8)},      {NY, QDate(2026, 11, 1)},
            {NY, QDate(2026, 7, 4)},      {NY, QDate(2026, 1, 4)},
            {BERLIN, QDate(2026, 3, 29)}, {BERLIN, QDate(2026, 10, 25)},
            {SYDNEY, QDate(2026, 10, 4)}, {SYDNEY, QDate(2026, 4, 5)},
        };
        for (const auto& [zone, day] : days) {
            for (const QDateTime& now : {jan, jul}) {
                QTest::addRow("%s %s today %s", zone.constData(), qPrintable(dateText(day)),
                              qPrintable(dateText(now.date())))
                    << zone << day << now;
            }
        }
    }

    void handOffGivesTrueUtc()
    {
        QFETCH(QByteArray, zone);
        QFETCH(QDate, day);
        QFETCH(QDateTime, wallNow);

        const FakeClock clock = clockAt(zone, wallNow);
        for (int minute = 0; minute < 24 * 60; ++minute) {
            const QDateTime local = wallClock(day, QTime(0, 0).addSecs(minute * 60));
            const QDateTime trueUtc = clock.instant(local);
            if (clock.toWall(trueUtc) != local)
                continue; // a skipped wall time has no true UTC to hand over
            const QDateTime handed =
                daylightCorrection(zarvo::toUtc(local, clock), 1, clock, local);
            if (handed != trueUtc)
                QFAIL(qPrintable(QStringLiteral("%1: handed %2, true %3")
                                     .arg(timeText(local.time()), handed.toString(Qt::ISODate),
                                          trueUtc.toString(Qt::ISODate))));
        }
    }

    void waitCountsWholeSeconds_data()
    {
        QTest::addColumn<int>("startMsec");
        QTest::addColumn<int>("stepMsec");
        QTest::addColumn<int>("rounds");
        QTest::newRow("1 s steps") << 0 << 1000 << 15;
        QTest::newRow("on the second") << 0 << 100 << 150;
        // Read to the second: from 20:00:00.900 the wait ends at 20:00:15.000, 14.1 s later.
        QTest::newRow("late in the second") << 900 << 100 << 141;
        QTest::newRow("7 s steps") << 500 << 7000 << 3;
    }

    void waitCountsWholeSeconds()
    {
        QFETCH(int, startMsec);
        QFETCH(int, stepMsec);
        QFETCH(int, rounds);

        FakeClock clock = clockAt(NY, wall(2003, 12, 15, 20));
        clock.setInstant(clock.currentInstant().addMSecs(startMsec));
        bool fired = false;
        QTimer::singleShot(0, this, [&fired] { fired = true; });
        int count = 0;
        zarvo::waitFifteenSeconds(clock, [&] {
            QCoreApplication::processEvents();
            ++count;
            clock.setInstant(clock.currentInstant().addMSecs(stepMsec));
        });
        QCOMPARE(count, rounds);
        QVERIFY(fired);
    }

    void waitRunsEventLoop()
    {
        // The clock only moves from a timer, so the wait can end only by running the event loop.
        FakeClock clock = clockAt(BERLIN, wall(2026, 3, 29, 1, 59, 50));
        int ticks = 0;
        QTimer tick;
        tick.setInterval(5);
        connect(&tick, &QTimer::timeout, this, [&] {
            ++ticks;
            clock.advanceSeconds(1);
        });
        tick.start();
        bool fired = false;
        QTimer::singleShot(0, this, [&fired] { fired = true; });

        zarvo::waitFifteenSeconds(clock);
        tick.stop();
        QVERIFY(fired);
        QVERIFY(ticks >= 15);
        // Fifteen seconds across the spring-forward jump: 02:00:05 does not exist, 03:00:05 does.
        QVERIFY(clock.now() >= wall(2026, 3, 29, 3, 0, 5));
    }
};

QTEST_GUILESS_MAIN(TstTimeRules)
#include "tst_timerules.moc"
