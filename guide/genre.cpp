#include "guide/genre.h"

#include <QRegularExpression>
#include <QStringList>

#include <array>
#include <utility>

namespace zarvo {

namespace {

// Word stems by genre, lower case and without accents (letters of their own, such as the Danish
// and Norwegian "ø", stay as they are). A stem matches the start of a word, so "sport" also takes
// "sports" and "sportif", and "animat" takes "animation" and "animated"; compounds that do not
// begin with their genre's word ("Motorsport", "Zeichentrick", "Rajzfilm") have stems of their
// own.
const std::array<std::pair<Genre, QStringList>, 7>& stems()
{
    static const std::array<std::pair<Genre, QStringList>, 7> table{{
        {Genre::Children,
         {QStringLiteral("child"),        QStringLiteral("kid"),       QStringLiteral("kinder"),
          QStringLiteral("barn"),         QStringLiteral("lasten"),    QStringLiteral("lapsi"),
          QStringLiteral("bambin"),       QStringLiteral("ragazz"),    QStringLiteral("infantil"),
          QStringLiteral("nino"),         QStringLiteral("jeugd"),     QStringLiteral("gyerek"),
          QStringLiteral("copii"),        QStringLiteral("jeunesse"),  QStringLiteral("enfant"),
          QStringLiteral("crianc"),       QStringLiteral("cartoon"),   QStringLiteral("animat"),
          QStringLiteral("animac"),       QStringLiteral("tecknat"),   QStringLiteral("piirretty"),
          QStringLiteral("zeichentrick"), QStringLiteral("dessin"),    QStringLiteral("desen"),
          QStringLiteral("rajzfilm"),     QStringLiteral("tegnefilm"), QStringLiteral("carton"),
          QStringLiteral("animad"),       QStringLiteral("børn")}},
        {Genre::Sport,
         {QStringLiteral("sport"),      QStringLiteral("urheilu"),     QStringLiteral("deport"),
          QStringLiteral("futbol"),     QStringLiteral("football"),    QStringLiteral("soccer"),
          QStringLiteral("fussball"),   QStringLiteral("calcio"),      QStringLiteral("idrett"),
          QStringLiteral("idraet"),     QStringLiteral("desport"),     QStringLiteral("jalkapallo"),
          QStringLiteral("fotbal"),     QStringLiteral("fotboll"),     QStringLiteral("fodbold"),
          QStringLiteral("voetbal"),    QStringLiteral("futebol"),     QStringLiteral("labdarug"),
          QStringLiteral("motorsport"), QStringLiteral("wintersport"), QStringLiteral("tennis"),
          QStringLiteral("golf"),       QStringLiteral("hockey"),      QStringLiteral("basketball"),
          QStringLiteral("baseball"),   QStringLiteral("racing"),      QStringLiteral("athlet"),
          QStringLiteral("ciclismo")}},
        {Genre::News,
         {QStringLiteral("news"),         QStringLiteral("nachricht"), QStringLiteral("nyhet"),
          QStringLiteral("nyhed"),        QStringLiteral("uutis"),     QStringLiteral("notizi"),
          QStringLiteral("telegiornale"), QStringLiteral("noticia"),   QStringLiteral("nieuws"),
          QStringLiteral("hirek"),        QStringLiteral("hirado"),    QStringLiteral("stiri"),
          QStringLiteral("journal"),      QStringLiteral("informa"),   QStringLiteral("actualit"),
          QStringLiteral("telejornal"),   QStringLiteral("weather"),   QStringLiteral("wetter"),
          QStringLiteral("politi"),       QStringLiteral("aktual"),    QStringLiteral("aktuel"),
          QStringLiteral("actuali"),      QStringLiteral("jurnal")}},
        {Genre::Documentary, {QStringLiteral("dokument"),        QStringLiteral("docu"),
                              QStringLiteral("ajankoht"),        QStringLiteral("asiaohjelm"),
                              QStringLiteral("natur"),           QStringLiteral("histor"),
                              QStringLiteral("wissenschaft"),    QStringLiteral("educa"),
                              QStringLiteral("reportage"),       QStringLiteral("magazin"),
                              QStringLiteral("fakta"),           QStringLiteral("tiede"),
                              QStringLiteral("ismeretterjeszt"), QStringLiteral("scien"),
                              QStringLiteral("cienc"),           QStringLiteral("scienz"),
                              QStringLiteral("wetenschap"),      QStringLiteral("travel"),
                              QStringLiteral("reise"),           QStringLiteral("viaje"),
                              QStringLiteral("viaggi"),          QStringLiteral("luonto"),
                              QStringLiteral("wildlife")}},
        {Genre::Film,
         {QStringLiteral("movie"), QStringLiteral("film"), QStringLiteral("spielfilm"),
          QStringLiteral("elokuva"), QStringLiteral("pelicula"), QStringLiteral("cine"),
          QStringLiteral("speelfilm"), QStringLiteral("jatekfilm"), QStringLiteral("lungometr"),
          QStringLiteral("telefilm")}},
        {Genre::Series,
         {QStringLiteral("series"),   QStringLiteral("serie"),      QStringLiteral("sarja"),
          QStringLiteral("drama"),    QStringLiteral("soap"),       QStringLiteral("sitcom"),
          QStringLiteral("comedy"),   QStringLiteral("komodie"),    QStringLiteral("komedi"),
          QStringLiteral("commedia"), QStringLiteral("comedia"),    QStringLiteral("comedie"),
          QStringLiteral("sorozat"),  QStringLiteral("telenovela"), QStringLiteral("fiction"),
          QStringLiteral("crime"),    QStringLiteral("krimi"),      QStringLiteral("thriller"),
          QStringLiteral("episode"),  QStringLiteral("serial"),     QStringLiteral("feuilleton"),
          QStringLiteral("ficcion"),  QStringLiteral("ficcao"),     QStringLiteral("novela")}},
        {Genre::Entertainment, {QStringLiteral("entertain"),     QStringLiteral("unterhaltung"),
                                QStringLiteral("show"),          QStringLiteral("music"),
                                QStringLiteral("musik"),         QStringLiteral("musiikki"),
                                QStringLiteral("musica"),        QStringLiteral("muziek"),
                                QStringLiteral("zene"),          QStringLiteral("muzica"),
                                QStringLiteral("musique"),       QStringLiteral("quiz"),
                                QStringLiteral("game"),          QStringLiteral("reality"),
                                QStringLiteral("talk"),          QStringLiteral("viihde"),
                                QStringLiteral("underhallning"), QStringLiteral("underholdning"),
                                QStringLiteral("intratten"),     QStringLiteral("varieta"),
                                QStringLiteral("variet"),        QStringLiteral("spettacol"),
                                QStringLiteral("entretenim"),    QStringLiteral("divertiss"),
                                QStringLiteral("amusement"),     QStringLiteral("szorakoz"),
                                QStringLiteral("lifestyle"),     QStringLiteral("concurso"),
                                QStringLiteral("jeu"),           QStringLiteral("spectacle"),
                                QStringLiteral("vetelked"),      QStringLiteral("humor"),
                                QStringLiteral("cabaret"),       QStringLiteral("kabarett"),
                                QStringLiteral("concert"),       QStringLiteral("konzert"),
                                QStringLiteral("cook"),          QStringLiteral("divertism")}},
    }};
    return table;
}

// Lower case, accents dropped (é -> e, ö -> o, ß -> ss), so that stems need no accented forms.
QString folded(const QString& text)
{
    const QString decomposed = text.toLower().normalized(QString::NormalizationForm_KD);
    QString plain;
    plain.reserve(decomposed.size());
    for (const QChar c : decomposed) {
        if (c.category() == QChar::Mark_NonSpacing)
            continue;
        if (c == QChar(0x00DF))
            plain += QStringLiteral("ss");
        else
            plain += c;
    }
    return plain;
}

} // namespace

Genre genreOf(const QString& category)
{
    if (category.trimmed().isEmpty())
        return Genre::Other;
    // Unicode word letters: "ø" and "æ", which no folding turns into a plain letter, are part of
    // a word, not a break in it.
    static const QRegularExpression separators(QStringLiteral("[^\\w]+"),
                                               QRegularExpression::UseUnicodePropertiesOption);
    QStringList words = folded(category).split(separators, Qt::SkipEmptyParts);
    // Science fiction ("Science-Fiction", "ciencia ficción", "sci-fi") is fiction, not science.
    for (qsizetype i = words.size() - 2; i >= 0; --i)
        if ((words[i].startsWith(u"sci") || words[i].startsWith(u"cienc")) &&
            words[i + 1].startsWith(u"fi"))
            words.removeAt(i);
    for (const auto& [genre, list] : stems())
        for (const QString& word : words)
            for (const QString& stem : list)
                if (word.startsWith(stem))
                    return genre;
    return Genre::Other;
}

} // namespace zarvo
