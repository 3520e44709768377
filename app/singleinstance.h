#pragma once
// Keeps the program to one running copy per program folder: a lock file that the first copy
// holds for as long as it runs.
//
// A lock left behind by a copy that crashed (its process no longer exists) does not count: it
// is removed and taken over. A running holder's lock never goes stale with age, however long
// the program has been running.

#include <QLockFile>
#include <QString>

namespace zarvo {

class SingleInstanceLock
{
public:
    enum class Result {
        Acquired,      // this process holds the lock now
        HeldByAnother, // another running process holds it
        Unavailable,   // the lock file could not be created (folder not writable, ...)
    };

    // The lock file `path`; nothing is locked until tryAcquire().
    explicit SingleInstanceLock(const QString& path);
    // Releases the lock (removing the file) when it is held.
    ~SingleInstanceLock();
    SingleInstanceLock(const SingleInstanceLock&) = delete;
    SingleInstanceLock& operator=(const SingleInstanceLock&) = delete;

    // Takes the lock without waiting. Acquired again when already held by this object.
    Result tryAcquire();
    bool isHeld() const { return m_lock.isLocked(); }
    // The system's reason when the result was Unavailable.
    QString errorText() const { return m_error; }

private:
    QLockFile m_lock;
    QString m_error;
};

// The name of the program's lock file in its folder.
inline QString singleInstanceLockName()
{
    return QStringLiteral("zarvoguide.lock");
}

} // namespace zarvo
