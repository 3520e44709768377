#include "base/programfolder.h"

#include <QCoreApplication>

namespace zarvo {

ProgramFolder ProgramFolder::ofExecutable()
{
    return ProgramFolder(QCoreApplication::applicationDirPath());
}

ProgramFolder::ProgramFolder(const QString& path) : m_dir(path) {}

} // namespace zarvo
