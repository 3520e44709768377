#pragma once
// The program folder: where config.txt, xmltv97.db, listings.sh, the hand-off files, the
// xmltv/ tools and the logos/ pictures live. It is the folder of the executable unless a
// command line names another one.

#include <QDir>
#include <QString>

namespace zarvo {

class ProgramFolder
{
public:
    // The folder of the running executable (QCoreApplication must exist).
    static ProgramFolder ofExecutable();
    explicit ProgramFolder(const QString& path);

    QString path() const { return m_dir.absolutePath(); }
    // A file or folder name below the program folder.
    QString file(const QString& name) const { return m_dir.absoluteFilePath(name); }

    QString settingsFile() const { return file(QStringLiteral("config.txt")); }
    QString databaseFile() const { return file(QStringLiteral("xmltv97.db")); }
    QString xmltvFolder() const { return file(QStringLiteral("xmltv")); }
    QString logosFolder() const { return file(QStringLiteral("logos")); }

private:
    QDir m_dir;
};

} // namespace zarvo
