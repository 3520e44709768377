// The guide screen on the offscreen platform, over a program folder of its own: a listings
// database filled for "today" of a fake clock, drawn logos, the built pictures, and a grabber
// that writes nothing. Loading with the detail panel, days by key code with a day whose fetch
// fails, the grid's edges and the wheel, the present and the genres in the grid, texts cut to
// their room, and the remote's Record through the program's screens to a stand-in opener. (A
// first load that fails is the end-to-end run's.)

#include "acquire/grabber.h"
#include "app/program.h"
#include "app/screens.h"
#include "guide/genre.h"
#include "guide/listingsscreen.h"
#include "support/standinopener.h"
#include "support/support.h"
#include "support/xmltv.h"
#include "ui/genretint.h"
#include "ui/grid.h"
#include "ui/picturebutton.h"

#include <QApplication>
#include <QLabel>
#include <QPainter>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QWheelEvent>

#include <memory>

using namespace zarvo;
using namespace zarvo::test;
namespace button = zarvo::guidebutton;
enum class End { Exit, Immediate };

namespace {

const QDate Today(2004, 6, 14); // a Monday

// Twelve stations (a page and three), numbered as a cable line-up would number them.
const char* const Stations[] = {"2 WCBZ",  "4 WNBZ",  "5 WNYZ",  "7 WABZ",  "9 WWOZ",  "11 WPIZ",
                                "13 WNEZ", "21 WLIZ", "25 WNYE", "31 WXTZ", "33 WXUZ", "35 WXVZ"};
constexpr int StationCount = int(std::size(Stations));
// Title and category of each show.
const char* const Shows[][2] = {
    {"Evening News", "News"},       {"Harbor Lights", "Drama"},
    {"The Quiz Hour", "Game show"}, {"Kitchen Rescue", "Cooking"},
    {"Wild Coasts", "Nature"},      {"Garden Gurus", "Home"},
    {"City Desk", "News"},          {"Late Laughs", "Comedy"},
    {"Mystery Theatre", "Mystery"}, {"Hoops Tonight", "Sports"},
    {"Planet Oceans", "Science"},   {"Court of Appeals", "Reality"},
    {"Travel Diaries", "Travel"},   {"Retro Cinema: The Long Road", "Movie"}};
constexpr int ShowCount = int(std::size(Shows));

QList<End> g_ends; // what the end of the program was asked for, in order

// Closes the next message box that opens and remembers its text.
void answerNextMessageBox(QString* text)
{
    QTimer::singleShot(0, [text] {
        QWidget* box = QApplication::activeModalWidget();
        if (!box)
            return answerNextMessageBox(text);
        if (auto* message = qobject_cast<QMessageBox*>(box))
            *text = message->text();
        box->close();
    });
}

// A row of the grid: "channel | first | second", "=" between merged cells, "*" after a cell
// that shows a picture (logo or marker).
QString rowText(ui::Grid* g, int r)
{
    const auto cell = [&](int c) { return g->text(r, c) + (g->picture(r, c).isNull() ? "" : "*"); };
    return cell(0) + " | " + cell(1) + (g->isRowMerged(r) ? " = " : " | ") + cell(2);
}

} // namespace

class TestGuideScreen : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    FakeClock m_clock{QTimeZone("America/New_York"), at(Today, 20, 5)};
    std::unique_ptr<Program> m_program;

    // Programmes of one day: channels 1 to 3 are written out for the checks, the others
    // follow a pattern of one- and two-hour programmes.
    static void fillDay(ListingsStore& store, QDate date, int titleShift)
    {
        const int day = dayNumber(date);
        const auto add = [&](int channel, const QDateTime& start, const QDateTime& end, int show,
                             bool rerun = false, const char* subtitle = "") {
            const auto& s = Shows[(show + titleShift) % ShowCount];
            const QString title = QString::fromUtf8(s[0]);
            return store.insertProgramme(
                day,
                {0, start.date(), start.time(), end.date(), end.time(),
                 QStringLiteral("C%1").arg(channel), title, QString::fromUtf8(subtitle),
                 title + QStringLiteral(": the story so far, and what comes next."),
                 QString::fromUtf8(s[1]), channel % 3 ? "TV-PG" : "TV-14", rerun, std::nullopt});
        };
        add(1, at(date, 19), at(date, 20), 0);
        store.setAction(day, add(1, at(date, 20), at(date, 21), 1, true, "The Storm"),
                        Mark::Season);
        add(1, at(date, 21), at(date, 22), 6);
        add(2, at(date, 20), at(date, 20, 30), 2);
        store.setAction(day, add(2, at(date, 20, 30), at(date, 21), 3), Mark::Record);
        add(3, at(date, 19, 30), at(date, 20, 30), 4);
        add(3, at(date, 20, 30), at(date, 21, 30), 5);
        for (int channel = 4; channel <= StationCount; ++channel)
            for (int h = 18; h < 23; h += 1 + channel % 2)
                add(channel, at(date, h), at(date, h + 1 + channel % 2), channel + h, h % 5 == 0);
        store.setStoredDate(day, date);
    }

    // A program folder holding the pictures, logos (but channel 4's), a grabber that writes
    // nothing, and a database with the listings of `days`.
    static void makeFolder(const QString& folder, const QList<QDate>& days)
    {
        QVERIFY(QDir().mkpath(folder + "/logos") && QDir().mkpath(folder + "/xmltv"));
        const QString pictures = QStringLiteral(ZARVO_BINARY_DIR "/pictures");
        QVERIFY2(QFile::exists(pictures + "/guide/listingstop.png"), "the pictures are not built");
        QVERIFY(QFile::link(pictures, folder + "/pictures"));
        QVERIFY(putFile(folder + "/xmltv/xmltv", "#!/bin/sh\necho \"grabbing $1\" >&2\n", true));
        // The grabber the settings name, installed and needing no configuration; the stub
        // dispatcher above stands in for it and writes nothing.
        QVERIFY(putFile(folder + "/xmltv/tv_grab_na_dd",
                        "#!/bin/sh\n[ \"$1\" = --capabilities ] && echo baseline\n", true));

        ListingsStore store(folder + "/xmltv97.db");
        for (int i = 1; i <= StationCount; ++i) {
            const QString name = QString::fromUtf8(Stations[i - 1]);
            const QString letters = name.section(u' ', 1);
            const QString icon = letters.toLower() + ".png";
            QPixmap logo(120, 80);
            logo.fill(QColor::fromHsv((i * 37) % 360, 170, 230));
            QPainter(&logo).drawText(logo.rect(), Qt::AlignCenter, letters);
            QVERIFY(i == 4 || logo.save(folder + "/logos/" + icon));
            store.insertChannel(
                {QStringLiteral("C%1").arg(i), name, name.section(u' ', 0, 0), icon});
        }
        for (int i = 0; i < days.size(); ++i)
            fillDay(store, days[i], i);
    }

    // An XMLTV day file with the same channels and one programme on each of the first two.
    void writeDayFile(QDate date)
    {
        QByteArray body;
        for (int i = 1; i <= StationCount; ++i)
            body += xmltv::channel("C" + QByteArray::number(i), Stations[i - 1],
                                   QByteArray(Stations[i - 1]).split(' ').first());
        const QByteArray day = date.toString(u"yyyyMMdd").toLatin1();
        for (const char* channel : {"C1", "C2"})
            body += xmltv::programme(day + "200000 -0400", day + "210000 -0400", channel,
                                     "Wednesday Special");
        QVERIFY(
            putFile(m_dir.filePath(QString::fromLatin1("xmltv/" + day + ".xml")), xmltv::tv(body)));
    }

    std::unique_ptr<ListingsScreen> openGuide(bool expectLoaded = true, Program* program = nullptr)
    {
        Program& p = program ? *program : *m_program;
        auto screen =
            std::make_unique<ListingsScreen>(p.loadContext(), [&p] { return &p.store(); });
        connect(screen.get(), &ListingsScreen::exitRequested, [] { g_ends << End::Exit; });
        connect(screen.get(), &ListingsScreen::endNowRequested, [] { g_ends << End::Immediate; });
        QSignalSpy finished(screen.get(), &ListingsScreen::loadFinished);
        screen->show();
        if (!finished.wait(20000) || finished.first().first().toBool() != expectLoaded)
            return nullptr;
        return screen;
    }
    static ui::Grid* grid(ListingsScreen& s) { return s.findChild<ui::Grid*>("theGrid"); }
    static QString label(ListingsScreen& s, const char* name)
    {
        QLabel* l = s.findChild<QLabel*>(QLatin1String(name));
        return l ? l->text() : QStringLiteral("<no %1>").arg(QLatin1String(name));
    }
    static QList<int> selectedButtons(ListingsScreen& s)
    {
        QList<int> selected;
        for (auto* b : s.findChildren<ui::PictureButton*>(QRegularExpression("^piclistings")))
            if (b->isSelected())
                selected << b->objectName().mid(11).toInt();
        std::sort(selected.begin(), selected.end());
        return selected;
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        makeFolder(m_dir.path(), {Today, Today.addDays(1)});
        m_program = std::make_unique<Program>(ProgramFolder(m_dir.path()), m_clock);
        m_program->state.settings = firstRunDefaults();
    }
    void init()
    {
        m_clock.setNow(at(Today, 20, 5));
        m_program->state.settings.primeTime = QStringLiteral("8:00 PM");
        m_program->state.settings.opacity = 100;
        g_ends.clear();
    }
    void loadShowsTheCurrentHour()
    {
        m_program->state.settings.opacity = 50;
        auto screen = openGuide();
        QVERIFY(screen);
        ui::Grid* g = grid(*screen);
        QVERIFY(screen->isLoadComplete() && screen->isMaximized());
        QCOMPARE(selectedButtons(*screen), QList<int>{button::GoToGrid});
        QVERIFY(!g->isFocusable());
        // 50 % is alpha 128 (127.5 to even); the offscreen platform draws no translucency.
        QCOMPARE(screen->alpha(), 128);
        QCOMPARE(screen->windowOpacity(), 1.0);

        QCOMPARE(rowText(g, 0), QStringLiteral("Mon | 8:00:00 PM | 8:30:00 PM"));
        // An hour-long programme fills both cells of a merged row, with its marker at the
        // right; two half hours make two cells; a programme started before the window.
        QCOMPARE(rowText(g, 1), QStringLiteral("      2 WCBZ* | Harbor Lights* = Harbor Lights*"));
        QCOMPARE(g->pictureAlignment(1, 1), ui::CellAlignment::RightCenter);
        QCOMPARE(rowText(g, 2), QStringLiteral("      4 WNBZ* | The Quiz Hour | Kitchen Rescue*"));
        QCOMPARE(rowText(g, 3), QStringLiteral("      5 WNYZ* | Wild Coasts | Garden Gurus"));
        QVERIFY(rowText(g, 4).startsWith(QStringLiteral("      7 WABZ | "))); // no logo file

        QCOMPARE(g->currentRow(), 1);
        QCOMPARE(g->currentColumn(), 1);
        QStringList labels;
        for (const char* name : {"lbltitle", "lbldesc", "lblsubtitle", "lblRating", "lblcategory",
                                 "lblChannel", "lblTimes", "lblTime"})
            labels << label(*screen, name);
        QCOMPARE(labels.join(u'/'), QStringLiteral("Harbor Lights/Harbor Lights: the story so "
                                                   "far, and what comes next. (Repeat)/The "
                                                   "Storm/Rating: TV-PG/Drama/2 WCBZ/Mon 06/14  "
                                                   "8:00:00 PM - 9:00:00 PM/8:05:00 PM"));
        QVERIFY(g_ends.isEmpty());
    }

    // Wednesday's day file lies ready and is imported; Thursday's the grabber does not write.
    void daysByKeys()
    {
        writeDayFile(Today.addDays(2));
        auto screen = openGuide();
        QVERIFY(screen);
        ui::Grid* g = grid(*screen);
        QStringList titles; // title line / status line, as each progress line arrives
        QLabel* title = screen->findChild<QLabel*>("lbltitle");
        QLabel* status = screen->findChild<QLabel*>("lblsubtitle");
        connect(
            &m_program->grabber, &GrabberRunner::progress, screen.get(),
            [&] { titles << title->text() + " / " + status->text(); }, Qt::QueuedConnection);
        const auto key = [&](int code) {
            screen->navigator().keyReleased(code);
            return g->text(0, 0) + ": " + g->text(1, 1);
        };
        QCOMPARE(key('J'), QStringLiteral("Mon: Harbor Lights")); // today: nothing
        QVERIFY(!g->isFocusable());
        QCOMPARE(key('K'), QStringLiteral("Tue: The Quiz Hour"));
        QCOMPARE(label(*screen, "lblTimes"), QStringLiteral("Tue 06/15  8:00:00 PM - 9:00:00 PM"));
        QCOMPARE(screen->navigator().selectedButton(), button::None);
        QCOMPARE(key('K'), QStringLiteral("Wed: Wednesday Special"));
        QCOMPARE(g->text(2, 0), QStringLiteral("      4 WNBZ"));
        QVERIFY(!m_program->state.fetchPending);
        QVERIFY(titles.isEmpty()); // no grabber ran

        // Enter on the day button: the fetch fails, the viewer is told, and the guide stays on
        // Wednesday with the button selected, having shown the grabber's progress while it ran.
        key(38); // Up: the settings button
        key(37); // Left: day forward
        QString told;
        answerNextMessageBox(&told);
        QCOMPARE(key(13), QStringLiteral("Wed: Wednesday Special"));
        QCOMPARE(told,
                 QStringLiteral("Program timed out.\n\ntv_grab_na_dd wrote no file 20040617.xml."));
        QCOMPARE(screen->gridModel().windowStart, at(Today.addDays(2), 20, 5));
        QCOMPARE(selectedButtons(*screen), QList<int>{button::DayForward});
        QCOMPARE(m_program->state.loadErrorText, QStringLiteral("Program timed out."));
        QVERIFY(!m_program->state.importInProgress);
        // What is fetched on the title line, the grabber's own words only on the status line.
        // (Progress lines may come faster than the test's queued look at the labels.)
        QVERIFY2(titles.filter(QRegularExpression("^Fetching the listings of Thu 06/17 \\.\\.\\. / "
                                                  "tv_grab_na_dd: grabbing tv_(grab_na_dd|sort)$"))
                             .size() == titles.size() &&
                     !titles.isEmpty(),
                 qPrintable(titles.join(u'|')));
        key('J');
        QCOMPARE(key('J'), QStringLiteral("Mon: Harbor Lights"));
        QVERIFY(g_ends.isEmpty());
    }

    // The arrows go on past the grid's edges: sideways to the next and previous hour, down and
    // up to the next and previous page; the wheel pages like B and V.
    void pastTheEdgesAndTheWheel()
    {
        auto screen = openGuide();
        QVERIFY(screen);
        ui::Grid* g = grid(*screen);
        screen->navigator().keyReleased(13); // into the grid
        const auto where = [&] {
            return QStringLiteral("%1 page %2 (%3,%4) %5")
                .arg(screen->gridModel().windowStart.toString(u"HH:mm"))
                .arg(screen->gridModel().channelPage)
                .arg(g->currentRow())
                .arg(g->currentColumn())
                .arg(label(*screen, "lblChannel"));
        };
        g->setCurrentCell(3, 2);
        QTest::keyPress(g, Qt::Key_Right);
        QCOMPARE(where(), QStringLiteral("21:05 page 1 (3,1) 5 WNYZ"));
        QCOMPARE(label(*screen, "lblTimes"), QStringLiteral("Mon 06/14  8:30:00 PM - 9:30:00 PM"));
        QTest::keyPress(g, Qt::Key_Left);
        QCOMPARE(where(), QStringLiteral("20:05 page 1 (3,2) 5 WNYZ"));
        g->setCurrentCell(9, 1);
        QTest::keyPress(g, Qt::Key_Down);
        QCOMPARE(where(), QStringLiteral("20:05 page 2 (1,1) 31 WXTZ"));
        QTest::keyPress(g, Qt::Key_Down);
        QTest::keyPress(g, Qt::Key_Down);
        QTest::keyPress(g, Qt::Key_Down); // into the empty rows of the last page
        QTest::keyPress(g, Qt::Key_Up);
        QTest::keyPress(g, Qt::Key_Up);
        QTest::keyPress(g, Qt::Key_Up);
        QTest::keyPress(g, Qt::Key_Up);
        QCOMPARE(where(), QStringLiteral("20:05 page 1 (9,1) 25 WNYE"));

        const auto wheel = [&](int angle) {
            const QPointF centre = QRectF(g->geometry()).center();
            QWheelEvent event(centre, screen->mapToGlobal(centre), QPoint(), QPoint(0, angle),
                              Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
            QCoreApplication::sendEvent(screen.get(), &event);
            return screen->gridModel().channelPage;
        };
        QCOMPARE(wheel(-120), 2);
        QCOMPARE(wheel(-120), 2); // the last page
        QCOMPARE(wheel(60), 2);   // half a notch
        QCOMPARE(wheel(60), 1);
        QVERIFY(g->hasFocus() || g->isFocusable());
    }

    // A showing chosen elsewhere (a search result) is shown on its own channel's row, on that
    // channel's page, though other channels have a showing at the same time.
    void showProgrammeOnItsChannel()
    {
        auto screen = openGuide();
        QVERIFY(screen);
        ui::Grid* g = grid(*screen);
        const auto shown = [&](const QString& channel, const QDateTime& start) {
            if (!screen->showProgramme(channel, start))
                return QStringLiteral("refused");
            return QStringLiteral("%1 page %2 (%3,%4) %5")
                .arg(screen->gridModel().windowStart.toString(u"HH:mm"))
                .arg(screen->gridModel().channelPage)
                .arg(g->currentRow())
                .arg(g->currentColumn())
                .arg(label(*screen, "lblChannel"));
        };
        QCOMPARE(shown("C11", at(Today, 20)), QStringLiteral("20:00 page 2 (2,1) 33 WXUZ"));
        QCOMPARE(shown("C3", at(Today, 20, 30)), QStringLiteral("20:00 page 1 (3,2) 5 WNYZ"));
        QCOMPARE(shown("C4", at(Today, 21)), QStringLiteral("21:00 page 1 (4,1) 7 WABZ"));
        QCOMPARE(shown("NONE", at(Today, 21)), QStringLiteral("refused"));
        QVERIFY(g->hasFocus() || g->isFocusable());
    }

    // The grid knows the present: the line at the present minute, how far running programmes
    // have run, arrows at programmes cut by the window, the genres' tints; a minute later the
    // ended programmes are dimmed and the line has moved.
    void thePresentAndTheGenres()
    {
        auto screen = openGuide();
        QVERIFY(screen);
        ui::Grid* g = grid(*screen);
        const auto look = [&](int row, int column) {
            const ui::Grid::CellLook l = g->look(row, column);
            QString text = l.dimmed ? "dimmed" : "";
            if (l.arrowLeft)
                text += "<";
            if (l.arrowRight)
                text += ">";
            return text + (l.progress < 0 ? QString() : QString::number(l.progress, 'g', 3));
        };
        QCOMPARE(g->nowLine().value_or(-1), 5 / 60.0);
        QCOMPARE(look(1, 1), QStringLiteral("0.0833"));             // Harbor Lights, 8 to 9
        QCOMPARE(look(3, 1), QStringLiteral("<0.583"));             // Wild Coasts, 7:30 to 8:30
        QCOMPARE(look(3, 2), QStringLiteral(">"));                  // Garden Gurus, 8:30 to 9:30
        QCOMPARE(g->look(1, 1).fill, ui::genreTint(Genre::Series)); // a drama
        QCOMPARE(g->look(2, 1).fill, ui::genreTint(Genre::Entertainment));
        QCOMPARE(g->look(2, 2).fill, ui::genreTint(Genre::Entertainment)); // cooking

        m_clock.setNow(at(Today, 20, 31, 7));
        screen->updateClock();
        QCOMPARE(label(*screen, "lblTime"), QStringLiteral("8:31:07 PM"));
        QCOMPARE(g->nowLine().value_or(-1), 31 / 60.0);
        QCOMPARE(look(2, 1), QStringLiteral("dimmed")); // The Quiz Hour, 8 to 8:30
        QCOMPARE(look(3, 1), QStringLiteral("dimmed<"));
        QCOMPARE(look(2, 2), QStringLiteral("0.0372")); // 67 s of 30 min
        screen->navigator().keyReleased('M');
        QVERIFY(!g->nowLine());
        QCOMPARE(look(1, 1), QStringLiteral(""));
    }

    // Texts cut to their room end in "…"; a rerun's " (Repeat)" stays after a cut description.
    void longTextsAreCut()
    {
        auto screen = openGuide();
        QVERIFY(screen);
        const QString ellipsis(QChar(0x2026));
        screen->findChild<QLabel*>("lbldesc")->setText(
            QStringLiteral("The story goes on and on. ").repeated(80) +
            QStringLiteral(" (Repeat)"));
        const QStringList lines = screen->shownLines(QStringLiteral("lbldesc"));
        QVERIFY2(lines.size() > 1 && lines.last().endsWith(ellipsis + QStringLiteral(" (Repeat)")),
                 qPrintable(lines.join(u'|')));
        screen->findChild<QLabel*>("lbltitle")
            ->setText(QStringLiteral("A Long Title ").repeated(30));
        QVERIFY(screen->shownLines(QStringLiteral("lbltitle")).first().endsWith(ellipsis));
        screen->findChild<QLabel*>("lblTimes")->setText(QStringLiteral("Mon 06/14"));
        QCOMPARE(screen->shownLines(QStringLiteral("lblTimes")), QStringList{"Mon 06/14"});
    }

    // The remote's Record on a programme, through the program's screens: handed to the opener
    // at once and marked once taken, as the menu's "record this showing"; one nobody takes is
    // told in the menu's words and stays unmarked. (Last: it marks a programme.)
    void recordButton()
    {
        StandInOpener opener(m_dir.filePath(QStringLiteral("opener")));
        m_program->handOffs.setOpener(opener.command());
        m_program->handOffs.setGapMs(0);
        Screens screens(*m_program);
        screens.showGuide();
        ListingsScreen* screen = nullptr;
        for (QWidget* w : QApplication::topLevelWidgets())
            screen = screen ? screen : qobject_cast<ListingsScreen*>(w);
        QVERIFY(screen);
        QSignalSpy loaded(screen, &ListingsScreen::loadFinished);
        QVERIFY(loaded.wait(20000));
        ui::Grid* g = grid(*screen);
        screen->navigator().keyReleased(13); // into the grid
        QSignalSpy done(&m_program->handOffs, &HandOffQueue::finished);

        g->setCurrentCell(2, 1);
        QVERIFY(g->picture(2, 1).isNull());
        QTest::keyRelease(g, Qt::Key_MediaRecord);
        QVERIFY(done.wait(10000));
        QCOMPARE(opener.received().size(), 1);
        QVERIFY(opener.received().first().contains("The Quiz Hour"));
        QTRY_VERIFY(!g->picture(2, 1).isNull()); // The Quiz Hour's mark

        opener.answer("3");
        g->setCurrentCell(3, 2);
        QString told;
        answerNextMessageBox(&told);
        QTest::keyRelease(g, Qt::Key_MediaRecord);
        QVERIFY(done.wait(10000));
        QTRY_VERIFY2(told.startsWith(QStringLiteral("No application took the recording request")),
                     qPrintable(told));
        QCOMPARE(opener.received().size(), 2);
        screen->refreshMarks();
        QCOMPARE(g->text(3, 2), QStringLiteral("Garden Gurus"));
        QVERIFY(g->picture(3, 2).isNull());
    }
};

QTEST_MAIN(TestGuideScreen)
#include "tst_guidescreen.moc"
