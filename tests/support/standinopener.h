#pragma once
// A stand-in for xdg-open: a real script run as a real process, which keeps a copy of every
// file it is asked to open (as a recorder would read it at that moment), notes when that file
// was written, and answers with the exit code written in its `answer` file (0 when there is
// none). An answer of "sleep" makes it hang for five seconds before it exits 0, as an opener that
// waits for the application it started; "crash" makes it kill itself.

#include "record/handoffqueue.h"
#include "support.h"

class StandInOpener
{
public:
    explicit StandInOpener(const QString& folder) : m_dir(folder)
    {
        if (!QDir().mkpath(m_dir.filePath("got")) ||
            !zarvo::test::putFile(
                path(),
                "#!/bin/sh\nhere=$(dirname \"$0\")\nn=$(ls \"$here/got\" | wc -l)\n"
                "cp \"$1\" \"$here/got/.part\" && mv \"$here/got/.part\" \"$here/got/$n\"\n"
                "stat -c %.9Y \"$1\" >>\"$here/written\"\n"
                "answer=$(cat \"$here/answer\" 2>/dev/null || echo 0)\n"
                "[ \"$answer\" = sleep ] && exec sleep 5\n"
                "[ \"$answer\" = crash ] && kill -9 $$\nexit \"$answer\"\n",
                true))
            qFatal("cannot write the stand-in opener");
    }

    zarvo::OpenerCommand command(int timeoutMs = 10000) const { return {path(), {}, timeoutMs}; }
    QString path() const { return m_dir.filePath("open"); }

    // "0", "3" (no application), "sleep", "crash".
    void answer(const QByteArray& code) const
    {
        if (!zarvo::test::putFile(m_dir.filePath("answer"), code))
            qFatal("cannot write the answer");
    }

    // The files received so far, in order.
    QList<QByteArray> received() const
    {
        QList<QByteArray> files;
        for (int n = 0; QFile::exists(m_dir.filePath(QStringLiteral("got/%1").arg(n))); ++n)
            files << zarvo::test::readFile(m_dir.filePath(QStringLiteral("got/%1").arg(n)));
        return files;
    }

    // When each file received was written (its modification time), in seconds since the epoch.
    QList<double> writtenAt() const
    {
        QList<double> t;
        for (const QByteArray& line : zarvo::test::readFile(m_dir.filePath("written")).split('\n'))
            if (!line.isEmpty() && line != "<unreadable>")
                t << line.toDouble();
        return t;
    }

    void reset() const
    {
        QDir(m_dir.filePath("got")).removeRecursively();
        QDir().mkpath(m_dir.filePath("got"));
        QFile::remove(m_dir.filePath("written"));
        QFile::remove(m_dir.filePath("answer"));
    }

private:
    QDir m_dir;
};
