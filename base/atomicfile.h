#pragma once
// Replacing a file so that a reader sees either the old content or the new, never a mix.

#include "base/error.h"

#include <QByteArray>
#include <QFileDevice>
#include <QString>

namespace zarvo {

// Writes `bytes` beside `path` and renames the result over it. On any failure (the folder
// missing or not writable, a full disk, a file size limit) the old file stays exactly as it was,
// no temporary file is left behind, and FileError is thrown with the reason (a phrase such as
// "it is a folder, not a file"). When `permissions` is not empty the new file gets them.
void replaceFileAtomically(const QString& path, const QByteArray& bytes,
                           QFileDevice::Permissions permissions = {});

} // namespace zarvo
