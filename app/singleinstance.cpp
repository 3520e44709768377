#include "app/singleinstance.h"

namespace zarvo {

SingleInstanceLock::SingleInstanceLock(const QString& path) : m_lock(path)
{
    // A stale time of 0 means the age of the file never makes it stale; only a holder that is
    // no longer running does. With an age limit, a copy running for longer than the limit
    // would lose its lock to the next one started.
    m_lock.setStaleLockTime(0);
}

SingleInstanceLock::~SingleInstanceLock() = default;

SingleInstanceLock::Result SingleInstanceLock::tryAcquire()
{
    if (m_lock.isLocked())
        return Result::Acquired;
    // tryLock removes a lock whose recorded process is gone (on this host) and takes it.
    if (m_lock.tryLock(0))
        return Result::Acquired;
    switch (m_lock.error()) {
    case QLockFile::LockFailedError:
        return Result::HeldByAnother;
    case QLockFile::NoError:
    case QLockFile::PermissionError:
    case QLockFile::UnknownError:
        break;
    }
    m_error = m_lock.error() == QLockFile::PermissionError
                  ? QStringLiteral("no permission to create %1").arg(m_lock.fileName())
                  : QStringLiteral("cannot create %1").arg(m_lock.fileName());
    return Result::Unavailable;
}

} // namespace zarvo
