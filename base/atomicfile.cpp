#include "base/atomicfile.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

namespace zarvo {
namespace {

QString whyNotOpened(const QString& path, const QSaveFile& file)
{
    // The file engine reports these as "Unknown error"; say what is really in the way.
    const QFileInfo target(path);
    if (target.isDir())
        return QStringLiteral("it is a folder, not a file");
    const QFileInfo folder(target.absolutePath());
    if (!folder.exists())
        return QStringLiteral("the folder %1 does not exist")
            .arg(QDir::toNativeSeparators(folder.filePath()));
    if (!folder.isDir())
        return QStringLiteral("%1 is not a folder")
            .arg(QDir::toNativeSeparators(folder.filePath()));
    return file.errorString();
}

} // namespace

FileError::FileError(const QString& path, const QString& reason)
    : Error(QStringLiteral("Cannot write %1: %2").arg(QDir::toNativeSeparators(path), reason)),
      m_path(path), m_reason(reason)
{
}

void replaceFileAtomically(const QString& path, const QByteArray& bytes,
                           QFileDevice::Permissions permissions)
{
    auto fail = [&path](const QString& why) { throw FileError(path, why); };

    QSaveFile file(path);
    // Unbuffered on purpose: with a write buffer, a write that fails at flush time (disk full,
    // file size limit) is not seen by commit(), which would then put a cut-off file in place of
    // the old one. Writing straight through shows every short write here.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        fail(whyNotOpened(path, file));

    qint64 written = 0;
    while (written < bytes.size()) {
        const qint64 n = file.write(bytes.constData() + written, bytes.size() - written);
        if (n <= 0) {
            const QString why = file.errorString();
            file.cancelWriting();
            fail(why);
        }
        written += n;
    }
    if (permissions && !file.setPermissions(permissions)) {
        const QString why = file.errorString();
        file.cancelWriting();
        fail(why);
    }
    if (!file.commit())
        fail(file.errorString());
}

} // namespace zarvo
