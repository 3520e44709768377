// The settings screen's logic without widgets: the grabber list on a machine's PATH and what
// the controls may not save. (The screen's own tests drive the rest through its controls.)

#include "settings/configlogic.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

using namespace zarvo;
using namespace zarvo::config;

namespace {

Settings someSettings()
{
    return Settings{1, "/srv/ss/channels.map", 1, 7, "pics", "10:00 PM", 80, "tv_grab_fi"};
}

} // namespace

class TestConfigLogic : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // The list on a machine with a fake PATH: the fifteen countries, marked when missing, then
    // every other installed grabber (program folder first, a name once) with its description,
    // whose own brackets do not confuse the saved name.
    void grabberList()
    {
        QTemporaryDir root;
        const auto put = [&](const QString& path, bool executable, const QByteArray& description) {
            QDir().mkpath(QFileInfo(root.filePath(path)).absolutePath());
            QFile f(root.filePath(path));
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("#!/bin/sh\n[ \"$1\" = --description ] && echo '" + description + "'\n");
            f.setPermissions(executable ? QFileDevice::ReadOwner | QFileDevice::ExeOwner
                                        : QFileDevice::ReadOwner);
        };
        put("guide/xmltv/tv_grab_demo", true, "Demonstration listings");
        put("bin1/tv_grab_fi", true, "Finland (iltapulu.fi)");
        put("bin1/tv_grab_eu_epgdata", true, "Parts of Europe (commercial) (www.epgdata.com)");
        put("bin2/tv_grab_fi", true, "another copy");
        put("bin2/tv_grab_off", false, "not executable");
        put("bin2/tv_sort", true, "not a grabber");
        const QString path = root.filePath("bin1") + ':' + root.filePath("bin2");
        const QList<InstalledGrabber> installed = installedGrabbers(root.filePath("guide"), path);
        QCOMPARE(installed, (QList<InstalledGrabber>{
                                {"tv_grab_demo", root.filePath("guide/xmltv/tv_grab_demo")},
                                {"tv_grab_eu_epgdata", root.filePath("bin1/tv_grab_eu_epgdata")},
                                {"tv_grab_fi", root.filePath("bin1/tv_grab_fi")}}));
        QStringList programs;
        for (const InstalledGrabber& g : installed)
            programs << g.program;
        const QHash<QString, QString> answers = askGrabbers(programs, "--description");
        QHash<QString, QString> descriptions;
        for (const InstalledGrabber& g : installed)
            descriptions.insert(g.name, answers.value(g.program));

        const QList<GrabberEntry> entries = grabberEntries(installed, descriptions);
        QCOMPARE(entries.size(), 17);
        QCOMPARE(entries[0].text, "USA and Canada (tv_grab_na_dd) (not installed)");
        QCOMPARE(entries[5], (GrabberEntry{"Finland (tv_grab_fi)", "tv_grab_fi", true, true}));
        QCOMPARE(entries[14].text, "Denmark (tv_grab_dk) (not installed)");
        QCOMPARE(entries[15].text, "Demonstration listings (tv_grab_demo)");
        QCOMPARE(entries[16].text,
                 "Parts of Europe (commercial) (www.epgdata.com) (tv_grab_eu_epgdata)");

        Settings s = firstRunDefaults();
        for (const QString& grabber :
             QStringList{"tv_grab_eu_epgdata", "tv_grab_uk_rt", "tv_grab_gone"}) {
            s.grabberName = grabber;
            const ControlValues c = controlValuesFor(s, entries);
            QCOMPARE(c.countries.size(), grabber == QString("tv_grab_gone") ? 18 : 17);
            QCOMPARE(settingsFrom(c).settings->grabberName, grabber);
        }
    }

    // Controls that cannot be saved give a message; indices outside the lists (which the screen
    // never has) give the first-run day count and prime time.
    void saveMapping_data()
    {
        QTest::addColumn<QString>("opacity");
        QTest::addColumn<int>("countryIndex");
        QTest::addColumn<int>("listIndex");
        QTest::addColumn<QString>("message");
        QTest::newRow("opacity not a number") << "abc" << 0 << 0 << QString(OpacityMessage);
        QTest::newRow("opacity 150") << "150" << 0 << 0 << QString(OpacityMessage);
        QTest::newRow("opacity 19") << "19" << 0 << 0 << QString(OpacityMessage);
        QTest::newRow("opacity 20") << " 20" << 0 << 7 << QString();
        QTest::newRow("opacity 100") << "100 " << 0 << -1 << QString();
        QTest::newRow("quote in the map path") << "100" << 0 << 0 << QString(QuoteInPathMessage);
        QTest::newRow("no country") << "100" << -1 << 0 << QString(NoCountryMessage);
        QTest::newRow("country past the list") << "100" << 15 << 0 << QString(NoCountryMessage);
    }
    void saveMapping()
    {
        QFETCH(QString, opacity);
        QFETCH(int, countryIndex);
        QFETCH(int, listIndex);
        QFETCH(QString, message);
        ControlValues c = controlValuesFor(someSettings());
        c.opacityText = opacity;
        c.countryIndex = countryIndex;
        if (message == QuoteInPathMessage)
            c.channelMapPath = "/srv/a\"b/channels.map";
        if (listIndex)
            c.daysIndex = c.primeIndex = listIndex;
        const SaveMapping saved = settingsFrom(c);
        QCOMPARE(saved.message, message);
        QCOMPARE(saved.settings.has_value(), message.isEmpty());
        if (saved.settings) {
            QCOMPARE(saved.settings->daysToDownload, qint16(1));
            QCOMPARE(saved.settings->primeTime, QStringLiteral("8:00 PM"));
        }
    }
};

QTEST_GUILESS_MAIN(TestConfigLogic)
#include "tst_configlogic.moc"
