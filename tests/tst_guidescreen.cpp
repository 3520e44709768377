// The guide screen on the offscreen platform, over a program folder of its own: a listings
// database filled for "today" of a fake clock, drawn logos, the built pictures, and a grabber
// that writes nothing. Loading, paging, hours and days by key code, a day whose fetch fails, a
// load that fails, the detail panel, rescaling and the window's translucency. The look case
// leaves guide.png (1280 x 720) in the build folder for a person to look at.

#include "acquire/grabber.h"
#include "app/program.h"
#include "guide/listingsscreen.h"
#include "guide/translucency.h"
#include "store/listingsstore.h"
#include "store/timerules.h"
#include "ui/grid.h"
#include "ui/picturebutton.h"

#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QPainter>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <memory>

using namespace zarvo;
namespace button = zarvo::guidebutton;

namespace {

const QDate Today(2004, 6, 14); // a Monday
const QDate Tomorrow = Today.addDays(1);

QDateTime at(QDate date, int hour, int minute = 0)
{
    return wallClock(date, QTime(hour, minute));
}

// Twenty stations, numbered as a cable line-up would number them.
const char* const Stations[] = {"2 WCBZ",  "4 WNBZ",  "5 WNYZ",  "7 WABZ",  "9 WWOZ",
                                "11 WPIZ", "13 WNEZ", "21 WLIZ", "25 WNYE", "31 WPXZ",
                                "41 WXTZ", "47 WNJZ", "50 WNDZ", "55 WLNZ", "63 WMBZ",
                                "68 WFUZ", "70 FOOD", "72 HIST", "74 NEWS", "76 SPRT"};
constexpr int StationCount = 20;

struct Show
{
    const char* title;
    const char* category;
    const char* description;
};
const Show Shows[] = {
    {"Evening News", "News", "The day's headlines, weather and sports from the city newsroom."},
    {"Harbor Lights", "Drama",
     "As a storm closes the harbor, Nora has to choose between the boat she inherited and the "
     "crew that has stood by her since the day her father vanished at sea; meanwhile the town "
     "council meets in secret to decide the future of the old lighthouse and its keeper."},
    {"The Quiz Hour", "Game show", "Three champions return for the season's final round."},
    {"Kitchen Rescue", "Cooking", "A family diner gets one week to win back its regulars."},
    {"Wild Coasts", "Nature", "Seals, storms and seabirds on the northern shore."},
    {"Garden Gurus", "Home", "Raised beds on a budget, and the best roses for shade."},
    {"City Desk", "News", "Reporters dig into the stories behind the week's headlines."},
    {"Late Laughs", "Comedy", "Stand-up from the best new comics on the circuit."},
    {"Mystery Theatre", "Mystery", "A country-house weekend ends with a locked-room puzzle."},
    {"Hoops Tonight", "Sports", "Highlights and analysis from every game of the night."},
    {"Planet Oceans", "Documentary", "The hidden life of the deep-sea trenches."},
    {"Court of Appeals", "Reality", "Small claims, big tempers, one judge."},
    {"Mountain Rescue", "Reality", "A winter of call-outs with an alpine rescue team."},
    {"Retro Cinema: The Long Road", "Movie", "Two brothers drive across the country in 1959."},
    {"Travel Diaries", "Travel", "Street food and night markets of the south coast."},
    {"Science Now", "Science", "How batteries are getting better, and what comes next."},
};
constexpr int ShowCount = int(sizeof(Shows) / sizeof(Shows[0]));

// A station logo: a coloured badge with the call letters.
QPixmap drawLogo(const QString& letters, int hue)
{
    QPixmap pix(120, 80);
    pix.fill(Qt::transparent);
    QPainter p(&pix);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor::fromHsv(hue, 170, 230));
    p.drawRoundedRect(QRectF(3, 3, 114, 74), 16, 16);
    p.setPen(QColor(10, 20, 40));
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(34);
    font.setBold(true);
    p.setFont(font);
    p.drawText(QRect(0, 0, 120, 80), Qt::AlignCenter, letters);
    return pix;
}

// What the end of the program was asked for, in order.
QList<ListingsScreen::ProgramEnd> g_ends;

// Closes the next message box that opens and remembers its text.
void answerNextMessageBox(QString* text)
{
    QTimer::singleShot(0, [text] {
        QWidget* box = QApplication::activeModalWidget();
        if (!box) {
            answerNextMessageBox(text);
            return;
        }
        if (auto* message = qobject_cast<QMessageBox*>(box))
            *text = message->text();
        box->close();
    });
}

} // namespace

class TestGuideScreen : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    FakeClock m_clock{QTimeZone("America/New_York"), at(Today, 20, 5)};
    std::unique_ptr<Program> m_program;
    std::unique_ptr<ProgramScope> m_scope;

    QString path(const QString& name) const { return m_dir.filePath(name); }

    // Programmes of one day: channel 1 to 3 are written out for the checks, the others follow
    // a pattern; channel 17 has nothing on.
    void fillDay(ListingsStore& store, QDate date, int titleShift)
    {
        const int day = dayNumber(date);
        Transaction transaction(store.database());
        const auto add = [&](int channel, const QDateTime& start, const QDateTime& end, int show,
                             bool rerun = false, const char* subtitle = "") {
            ProgrammeRow row;
            row.channel = QStringLiteral("C%1").arg(channel);
            const Show& s = Shows[(show + titleShift) % ShowCount];
            row.title = QString::fromUtf8(s.title);
            row.category = QString::fromUtf8(s.category);
            row.description = QString::fromUtf8(s.description);
            row.subtitle = QString::fromUtf8(subtitle);
            row.rating = channel % 3 == 0 ? QStringLiteral("TV-14") : QStringLiteral("TV-PG");
            row.rerun = rerun;
            row.startdate = start.date();
            row.starttime = start.time();
            row.enddate = end.date();
            row.endtime = end.time();
            return store.insertProgramme(day, row);
        };
        add(1, at(date, 19), at(date, 20), 0);
        const qint32 harbor = add(1, at(date, 20), at(date, 21), 1, true, "The Storm");
        store.setAction(day, harbor, QStringLiteral("season"));
        add(1, at(date, 21), at(date, 22), 6);
        add(2, at(date, 20), at(date, 20, 30), 2);
        const qint32 kitchen = add(2, at(date, 20, 30), at(date, 21), 3);
        store.setAction(day, kitchen, QStringLiteral("record"));
        add(3, at(date, 19, 30), at(date, 20, 30), 4);
        add(3, at(date, 20, 30), at(date, 21, 30), 5);
        static const int lengths[] = {30, 60, 90, 30, 120, 60};
        for (int channel = 4; channel <= StationCount; ++channel) {
            if (channel == 17)
                continue;
            QDateTime start = at(date, 18).addSecs(-1800 * (channel % 4));
            for (int k = 0; start < at(date, 23, 30); ++k) {
                const QDateTime end = start.addSecs(60 * lengths[(channel + k) % 6]);
                add(channel, start, end, channel + k, (channel + k) % 5 == 0);
                start = end;
            }
        }
        store.setStoredDate(day, date);
        transaction.commit();
    }

    // A program folder holding the pictures, logos, a grabber that writes nothing, and a
    // database with the listings of `days`.
    void makeFolder(const QString& folder, const QList<QDate>& days)
    {
        QVERIFY(QDir().mkpath(folder + QStringLiteral("/logos")));
        QVERIFY(QDir().mkpath(folder + QStringLiteral("/xmltv")));
        const QString pictures = QStringLiteral(ZARVO_BINARY_DIR "/pictures");
        QVERIFY2(QFile::exists(pictures + QStringLiteral("/guide/listingstop.png")),
                 "the pictures are not built");
        QVERIFY(QFile::link(pictures, folder + QStringLiteral("/pictures")));
        QFile stub(folder + QStringLiteral("/xmltv/xmltv"));
        QVERIFY(stub.open(QIODevice::WriteOnly));
        stub.write("#!/bin/sh\necho \"grabbing $1\" >&2\nexit 0\n");
        stub.close();
        stub.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

        ListingsStore store(folder + QStringLiteral("/xmltv97.db"));
        Transaction transaction(store.database());
        for (int i = 1; i <= StationCount; ++i) {
            const QString name = QString::fromUtf8(Stations[i - 1]);
            const QString number = name.section(QLatin1Char(' '), 0, 0);
            const QString letters = name.section(QLatin1Char(' '), 1);
            // Channel 4's logo is missing from the folder.
            const QString icon = QStringLiteral("%1.png").arg(letters.toLower());
            if (i != 4)
                QVERIFY(drawLogo(letters, (i * 37) % 360).save(folder + "/logos/" + icon));
            store.insertChannel({QStringLiteral("C%1").arg(i), name, number, icon});
        }
        transaction.commit();
        for (int i = 0; i < days.size(); ++i)
            fillDay(store, days[i], i);
    }

    // An XMLTV day file with the same channels and one programme on each of the first two.
    void writeDayFile(QDate date)
    {
        QByteArray xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<tv>\n";
        for (int i = 1; i <= StationCount; ++i) {
            const QByteArray name = Stations[i - 1];
            const QByteArray letters = name.mid(name.indexOf(' ') + 1);
            xml += "<channel id=\"C" + QByteArray::number(i) + "\"><display-name>" + name +
                   "</display-name><display-name>" + letters + "</display-name><display-name>" +
                   name.left(name.indexOf(' ')) + "</display-name><icon src=\"http://logos/" +
                   letters.toLower() + ".png\"/></channel>\n";
        }
        const QByteArray day = date.toString(QStringLiteral("yyyyMMdd")).toLatin1();
        for (int i = 1; i <= 2; ++i)
            xml += "<programme start=\"" + day + "200000 -0400\" stop=\"" + day +
                   "210000 -0400\" channel=\"C" + QByteArray::number(i) +
                   "\"><title>Wednesday Special</title></programme>\n";
        xml += "</tv>\n";
        QFile file(path(QStringLiteral("xmltv/") + QString::fromLatin1(day) + ".xml"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(xml);
    }

    std::unique_ptr<ListingsScreen> openGuide(bool expectLoaded = true)
    {
        auto screen = std::make_unique<ListingsScreen>();
        QSignalSpy finished(screen.get(), &ListingsScreen::loadFinished);
        screen->show();
        if (!finished.wait(20000))
            return nullptr;
        if (finished.first().first().toBool() != expectLoaded)
            return nullptr;
        return screen;
    }

    static ui::Grid* grid(ListingsScreen& s) { return s.findChild<ui::Grid*>("theGrid"); }
    static QString label(ListingsScreen& s, const char* name)
    {
        QLabel* l = s.findChild<QLabel*>(QLatin1String(name));
        return l ? l->text() : QStringLiteral("<no %1>").arg(QLatin1String(name));
    }
    static ui::PictureButton* pictureButton(ListingsScreen& s, int i)
    {
        return s.findChild<ui::PictureButton*>(QStringLiteral("piclistings%1").arg(i));
    }
    static QList<int> selectedButtons(ListingsScreen& s)
    {
        QList<int> selected;
        for (int i = 0; i < button::Count; ++i)
            if (pictureButton(s, i)->isSelected())
                selected << i;
        return selected;
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        makeFolder(m_dir.path(), {Today, Tomorrow});
        m_program = std::make_unique<Program>(ProgramFolder(m_dir.path()), m_clock);
        m_program->state.settings = firstRunDefaults();
        m_scope = std::make_unique<ProgramScope>(*m_program);
        ListingsScreen::setProgramEndHandler([](ListingsScreen::ProgramEnd how) { g_ends << how; });
    }

    void init()
    {
        m_clock.setNow(at(Today, 20, 5));
        m_program->state.settings.primeTime = QStringLiteral("8:00 PM");
        m_program->state.settings.opacity = 100;
        g_ends.clear();
    }

    void cleanupTestCase()
    {
        ListingsScreen::setProgramEndHandler({});
        m_scope.reset();
    }

    void loadShowsTheCurrentHour()
    {
        auto screen = openGuide();
        QVERIFY(screen);
        ui::Grid* g = grid(*screen);
        QVERIFY(g);
        QVERIFY(screen->isLoadComplete());
        QVERIFY(screen->isMaximized());
        QCOMPARE(selectedButtons(*screen), QList<int>{button::GoToGrid});
        QCOMPARE(screen->navigator().selectedButton(), button::GoToGrid);
        QVERIFY(!g->isFocusable());

        QCOMPARE(g->text(0, 0), QStringLiteral("Mon"));
        QCOMPARE(g->text(0, 1), QStringLiteral("8:00:00 PM"));
        QCOMPARE(g->text(0, 2), QStringLiteral("8:30:00 PM"));
        QCOMPARE(g->text(1, 0), QStringLiteral("      2 WCBZ"));
        QVERIFY(!g->picture(1, 0).isNull());
        QVERIFY(g->picture(4, 0).isNull()); // its logo file is missing
        QCOMPARE(g->text(4, 0), QStringLiteral("      7 WABZ"));

        // An hour-long programme fills both cells of a merged row, with its marker at the right.
        QCOMPARE(g->text(1, 1), QStringLiteral("Harbor Lights"));
        QCOMPARE(g->text(1, 2), QStringLiteral("Harbor Lights"));
        QVERIFY(g->isRowMerged(1));
        QVERIFY(!g->picture(1, 1).isNull());
        QCOMPARE(g->pictureAlignment(1, 1), ui::CellAlignment::RightCenter);
        // Two half hours: two cells, the second marked.
        QCOMPARE(g->text(2, 1), QStringLiteral("The Quiz Hour"));
        QCOMPARE(g->text(2, 2), QStringLiteral("Kitchen Rescue"));
        QVERIFY(!g->isRowMerged(2));
        QVERIFY(g->picture(2, 1).isNull());
        QVERIFY(!g->picture(2, 2).isNull());
        // Started before the window.
        QCOMPARE(g->text(3, 1), QStringLiteral("Wild Coasts"));

        QCOMPARE(g->currentRow(), 1);
        QCOMPARE(g->currentColumn(), 1);
        QCOMPARE(label(*screen, "lbltitle"), QStringLiteral("Harbor Lights"));
        QVERIFY(label(*screen, "lbldesc").endsWith(QStringLiteral(" (Repeat)")));
        QCOMPARE(label(*screen, "lblsubtitle"), QStringLiteral("The Storm"));
        QCOMPARE(label(*screen, "lblRating"), QStringLiteral("Rating: TV-PG"));
        QCOMPARE(label(*screen, "lblcategory"), QStringLiteral("Drama"));
        QCOMPARE(label(*screen, "lblChannel"), QStringLiteral("2 WCBZ"));
        QCOMPARE(label(*screen, "lblTimes"), QStringLiteral("Mon 06/14  8:00:00 PM - 9:00:00 PM"));
        QCOMPARE(label(*screen, "lblTime"), QStringLiteral("8:05:00 PM"));
        QVERIFY(g_ends.isEmpty());
    }

    // Each move of the current cell refills the panel; an empty cell empties it.
    void detailFollowsTheCurrentCell()
    {
        auto screen = openGuide();
        QVERIFY(screen);
        ui::Grid* g = grid(*screen);
        g->setCurrentCell(2, 2);
        QCOMPARE(label(*screen, "lbltitle"), QStringLiteral("Kitchen Rescue"));
        QVERIFY(!label(*screen, "lbldesc").endsWith(QStringLiteral(" (Repeat)")));
        QCOMPARE(label(*screen, "lblTimes"), QStringLiteral("Mon 06/14  8:30:00 PM - 9:00:00 PM"));
        m_clock.advanceSeconds(60);
        g->setCurrentCell(3, 2);
        QCOMPARE(label(*screen, "lbltitle"), QStringLiteral("Garden Gurus"));
        QCOMPARE(label(*screen, "lblTime"), QStringLiteral("8:06:00 PM"));
    }

    void pagingByKeys()
    {
        auto screen = openGuide();
        QVERIFY(screen);
        ui::Grid* g = grid(*screen);
        // Real key events: to the screen while a button is selected...
        QTest::keyClick(screen.get(), Qt::Key_B);
        QCOMPARE(g->text(1, 0), QStringLiteral("      31 WPXZ"));
        QVERIFY(g->hasFocus());
        QCOMPARE(selectedButtons(*screen), QList<int>{});
        // ...and to the grid once it has the focus.
        QTest::keyClick(g, Qt::Key_B);
        QCOMPARE(g->text(1, 0), QStringLiteral("      74 NEWS"));
        QCOMPARE(g->text(2, 0), QStringLiteral("      76 SPRT"));
        QCOMPARE(g->text(3, 0), QString());
        QCOMPARE(g->text(3, 1), QString());
        QCOMPARE(screen->gridModel().channelPage, 3);
        QTest::keyClick(g, Qt::Key_B); // the last page: nothing
        QCOMPARE(screen->gridModel().channelPage, 3);
        // 70 FOOD (page 2) has nothing on: its row has a name and empty cells.
        screen->navigator().keyReleased('V');
        QCOMPARE(g->text(8, 0), QStringLiteral("      70 FOOD"));
        QCOMPARE(g->text(8, 1), QString());
        QCOMPARE(g->text(8, 2), QString());
        QVERIFY(g->picture(8, 1).isNull());
        screen->navigator().keyReleased('V');
        QCOMPARE(g->text(1, 0), QStringLiteral("      2 WCBZ"));
        QCOMPARE(g->text(1, 1), QStringLiteral("Harbor Lights"));
        // The grid's own arrows move its cell, not the buttons.
        QTest::keyClick(g, Qt::Key_Down);
        QCOMPARE(g->currentRow(), 2);
        QCOMPARE(screen->navigator().selectedButton(), button::None);
    }

    void hoursByKeys()
    {
        auto screen = openGuide();
        QVERIFY(screen);
        ui::Grid* g = grid(*screen);
        screen->navigator().keyReleased('B');
        screen->navigator().keyReleased('M');
        QCOMPARE(g->text(0, 1), QStringLiteral("9:00:00 PM"));
        // The page shown before the hour move is shown again.
        QCOMPARE(screen->gridModel().channelPage, 2);
        QCOMPARE(g->text(1, 0), QStringLiteral("      31 WPXZ"));
        screen->navigator().keyReleased('N');
        screen->navigator().keyReleased('N');
        QCOMPARE(g->text(0, 1), QStringLiteral("7:00:00 PM"));
        screen->navigator().keyReleased('V');
        QCOMPARE(g->text(1, 1), QStringLiteral("Evening News"));
        screen->navigator().keyReleased('C');
        QCOMPARE(g->text(0, 1), QStringLiteral("8:00:00 PM"));
    }

    // Wednesday's day file lies ready and is imported; Thursday's the grabber does not write.
    void daysByKeys()
    {
        writeDayFile(Today.addDays(2));
        auto screen = openGuide();
        QVERIFY(screen);
        ui::Grid* g = grid(*screen);
        QStringList titles;
        QLabel* title = screen->findChild<QLabel*>("lbltitle");
        connect(
            &m_program->grabber, &GrabberRunner::progress, this, [&] { titles << title->text(); },
            Qt::QueuedConnection);

        screen->navigator().keyReleased('J'); // today: nothing
        QCOMPARE(g->text(0, 0), QStringLiteral("Mon"));
        QVERIFY(!g->isFocusable());
        screen->navigator().keyReleased('K');
        QCOMPARE(g->text(0, 0), QStringLiteral("Tue"));
        QCOMPARE(label(*screen, "lblTimes"), QStringLiteral("Tue 06/15  8:00:00 PM - 9:00:00 PM"));
        QCOMPARE(g->text(1, 1), QStringLiteral("The Quiz Hour"));
        QCOMPARE(screen->navigator().selectedButton(), button::None);
        screen->navigator().keyReleased('K');
        QCOMPARE(g->text(0, 0), QStringLiteral("Wed"));
        QCOMPARE(g->text(1, 1), QStringLiteral("Wednesday Special"));
        QCOMPARE(g->text(2, 0), QStringLiteral("      4 WNBZ"));
        QVERIFY(!m_program->state.fetchPending);
        QVERIFY(titles.isEmpty()); // no grabber ran

        // With Enter on the day button the guide stays on Wednesday, the button selected, and
        // showed the grabber's progress while it ran.
        screen->navigator().keyReleased(38); // Up: the settings button
        screen->navigator().keyReleased(37); // Left: day forward
        QCOMPARE(screen->navigator().selectedButton(), button::DayForward);
        screen->navigator().keyReleased(13);
        QCOMPARE(g->text(0, 0), QStringLiteral("Wed"));
        QCOMPARE(screen->gridModel().windowStart, at(Today.addDays(2), 20, 5));
        QCOMPARE(selectedButtons(*screen), QList<int>{button::DayForward});
        QCOMPARE(m_program->state.loadErrorText, QStringLiteral("Program timed out."));
        QVERIFY(!m_program->state.importInProgress);
        QVERIFY2(!titles.filter(QRegularExpression(QStringLiteral("^grabbing tv_"))).isEmpty(),
                 qPrintable(titles.join(QLatin1Char('|'))));

        screen->navigator().keyReleased('J');
        screen->navigator().keyReleased('J');
        QCOMPARE(g->text(0, 0), QStringLiteral("Mon"));
        QCOMPARE(g->text(1, 1), QStringLiteral("Harbor Lights"));
        QVERIFY(g_ends.isEmpty());
    }

    void enterOnTheGrid()
    {
        auto screen = openGuide();
        QVERIFY(screen);
        ui::Grid* g = grid(*screen);
        QSignalSpy chosen(screen.get(), &ListingsScreen::programChosen);
        screen->navigator().keyReleased(13); // Enter on button 1: to the grid
        QVERIFY(g->hasFocus());
        QTest::keyClick(g, Qt::Key_Down);
        QTest::keyClick(g, Qt::Key_Right);
        QTest::keyClick(g, Qt::Key_Return);
        QCOMPARE(chosen.size(), 1);
        QCOMPARE(chosen.first(), (QList<QVariant>{2, 2}));
        // Enter from the grid does not press the button that was selected before.
        QCOMPARE(screen->navigator().selectedButton(), button::None);
        screen->navigator().keyReleased('B');
        g->setCurrentCell(8, 1);
        QTest::keyClick(g, Qt::Key_Return); // 70 FOOD: nothing on
        QCOMPARE(chosen.size(), 1);
    }

    void failedLoadEndsTheProgram()
    {
        QTemporaryDir other;
        makeFolder(other.path(), {});
        Program failing(ProgramFolder(other.path()), m_clock);
        failing.state.settings = firstRunDefaults();
        const ProgramScope scope(failing);
        QString shown;
        answerNextMessageBox(&shown);
        auto screen = openGuide(false);
        QVERIFY(screen);
        QCOMPARE(shown, QStringLiteral("Program timed out."));
        QCOMPARE(g_ends, QList<ListingsScreen::ProgramEnd>{ListingsScreen::ProgramEnd::Exit});
        QCOMPARE(grid(*screen)->text(1, 1), QString());
        QVERIFY(failing.state.fetchPending);
    }

    void endingTheProgram()
    {
        auto screen = openGuide();
        QVERIFY(screen);
        QTest::mouseDClick(screen.get(), Qt::LeftButton, {}, QPoint(4, 4));
        screen->navigator().keyReleased('X');
        screen->close();
        QCOMPARE(g_ends, (QList<ListingsScreen::ProgramEnd>{ListingsScreen::ProgramEnd::Immediate,
                                                            ListingsScreen::ProgramEnd::Exit,
                                                            ListingsScreen::ProgramEnd::Exit}));
    }

    void windowCommands()
    {
        auto screen = openGuide();
        QVERIFY(screen);
        screen->navigator().keyReleased(188);
        QVERIFY(screen->isMinimized());
        screen->navigator().keyReleased(190);
        QVERIFY(screen->isMaximized());
        // No settings screen to go to yet: the guide comes back at once.
        screen->navigator().keyReleased('S');
        QVERIFY(screen->isVisible());
        // With one, the guide is hidden before it is asked for, and stays hidden.
        bool visibleThen = true;
        connect(screen.get(), &ListingsScreen::settingsRequested, this,
                [&] { visibleThen = screen->isVisible(); });
        screen->navigator().keyReleased('S');
        QVERIFY(!visibleThen);
        QVERIFY(!screen->isVisible());
    }

    // At half the design size every control, the cells and the fonts are halved.
    void formatPicsScales()
    {
        auto screen = openGuide();
        QVERIFY(screen);
        screen->showNormal();
        screen->formatPics(1.0, 1.0);
        ui::Grid* g = grid(*screen);
        const QRect design = g->geometry();
        QCOMPARE(design, ui::twipRect(360, 3120, 11400, 5460));
        QLabel* title = screen->findChild<QLabel*>("lbltitle");
        const QRect titleDesign = title->geometry();
        screen->formatPics(0.5, 0.5);
        QCOMPARE(g->geometry(), QRect(design.x() / 2, design.y() / 2, design.width() / 2,
                                      ui::roundHalfEven(design.height() / 2.0)));
        QCOMPARE(title->geometry().topLeft(), titleDesign.topLeft() / 2);
        QCOMPARE(title->font().pointSizeF(), 9.0);
        QCOMPARE(screen->findChild<QLabel*>("lblTime")->font().pointSizeF(), 7.0);
        QCOMPARE(g->font().pointSizeF(), 9.0);
        QCOMPARE(g->columnWidth(0), ui::roundHalfEven(g->width() / 5.0));
        QCOMPARE(g->columnWidth(1), ui::roundHalfEven(2 * g->width() / 5.0));
        QCOMPARE(g->rowHeight(9), ui::roundHalfEven(g->height() / 10.0));
        // A window resize scales from the design again, not from the last layout.
        screen->resize(ui::pixels(ListingsScreen::DesignWidth * 2),
                       ui::pixels(ListingsScreen::DesignHeight * 2));
        QCOMPARE(g->geometry(), QRect(design.topLeft() * 2, design.size() * 2));
        QCOMPARE(title->font().pointSizeF(), 36.0);
    }

    void opacityAlpha_data()
    {
        QTest::addColumn<int>("opacity");
        QTest::addColumn<int>("alpha");
        QTest::newRow("0") << 0 << 255;
        QTest::newRow("19") << 19 << 255;
        QTest::newRow("20") << 20 << 51;
        QTest::newRow("50 (127.5 to even)") << 50 << 128;
        QTest::newRow("70 (178.5 to even)") << 70 << 178;
        QTest::newRow("100") << 100 << 255;
        QTest::newRow("101") << 101 << 255;
        QTest::newRow("-5") << -5 << 255;
    }
    void opacityAlpha()
    {
        QFETCH(int, opacity);
        QFETCH(int, alpha);
        QCOMPARE(zarvo::opacityAlpha(opacity), alpha);
    }

    // The offscreen platform draws no translucency: the calls say so and change nothing.
    void translucencyWhereUnsupported()
    {
        QCOMPARE(QGuiApplication::platformName(), QStringLiteral("offscreen"));
        QVERIFY(!translucencySupported());
        QWidget window;
        QWidget child(&window);
        QCOMPARE(topLevelWindow(&child), &window);
        QVERIFY(!setWindowTranslucency(&child, 128));
        QCOMPARE(window.windowOpacity(), 1.0);
        QVERIFY(!clearWindowTranslucency(&child));
        QVERIFY(!setWindowTranslucency(nullptr, 128));
        m_program->state.settings.opacity = 50;
        auto screen = openGuide();
        QVERIFY(screen);
        QCOMPARE(screen->alpha(), 128);
        QCOMPARE(screen->windowOpacity(), 1.0);
    }

    // The guide at a television's 1280 x 720, saved for a person to look at.
    void screenshot()
    {
        auto screen = openGuide();
        QVERIFY(screen);
        screen->showNormal();
        screen->resize(1280, 720);
        QCOMPARE(screen->size(), QSize(1280, 720));
        const QString file = QStringLiteral(ZARVO_BINARY_DIR "/guide.png");
        QVERIFY(screen->grab().save(file));
    }
};

QTEST_MAIN(TestGuideScreen)
#include "tst_guidescreen.moc"
