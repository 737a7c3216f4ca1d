#include "RegularFile.h"

#include <QFile>
#include <QStringList>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool exists(const QString& path)
{
    struct stat info {};
    return ::stat(QFile::encodeName(path).constData(), &info) == 0;
}

// True when the folder holds an entry whose name is not valid UTF-8 and that the toolkit reads
// as name: the file the name was meant to be.
bool holdsNonUtf8NameFor(const QString& folder, const QString& name)
{
    DIR* dir = ::opendir(QFile::encodeName(folder).constData());
    if (!dir)
        return false;
    bool found = false;
    while (const dirent* entry = ::readdir(dir)) {
        const QByteArray raw(entry->d_name);
        if (!isValidUtf8Name(raw) && QFile::decodeName(raw) == name) {
            found = true;
            break;
        }
    }
    ::closedir(dir);
    return found;
}

// Whether a path that does not exist is one the toolkit changed on its way in: its first
// missing part is there on disk under a name that is not valid UTF-8, which the toolkit read
// with replacement characters in place of the bytes it could not decode.
bool isMangledName(const QString& path)
{
    if (!path.contains(QChar::ReplacementCharacter))
        return false;
    QString folder = path.startsWith(QLatin1Char('/')) ? QStringLiteral("/") : QStringLiteral(".");
    for (const QString& part : path.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        const QString next = folder.endsWith(QLatin1Char('/')) ? folder + part : folder + QLatin1Char('/') + part;
        if (!exists(next))
            return holdsNonUtf8NameFor(folder, part);
        folder = next;
    }
    return false;
}

FileProblem problemOf(int error, const QString& path)
{
    switch (error) {
    case ENOENT:
    case ENOTDIR:
        return isMangledName(path) ? FileProblem::NameNotUtf8 : FileProblem::Missing;
    case EACCES:
    case EPERM:
        return FileProblem::NoPermission;
    default:
        return FileProblem::ReadFailed;
    }
}

FileProblem kindOf(mode_t mode)
{
    if (S_ISREG(mode))
        return FileProblem::None;
    return S_ISDIR(mode) ? FileProblem::Folder : FileProblem::NotRegular;
}

} // namespace

RegularFile::RegularFile(const QString& path) : path_(path)
{
    const QByteArray name = QFile::encodeName(path);
    if (name.isEmpty()) {
        fail(FileProblem::Missing);
        return;
    }
    // Looked at first: opening a FIFO for reading waits for a writer, and opening a device
    // can do things of its own.
    struct stat info {};
    if (::stat(name.constData(), &info) != 0) {
        const int error = errno;
        fail(problemOf(error, path), error);
        return;
    }
    if (const FileProblem kind = kindOf(info.st_mode); kind != FileProblem::None) {
        fail(kind);
        return;
    }
    const int descriptor = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (descriptor < 0) {
        const int error = errno;
        fail(problemOf(error, path), error);
        return;
    }
    // Whatever now stands at the path is what was opened: it must still be a regular file.
    if (::fstat(descriptor, &info) != 0) {
        const int error = errno;
        ::close(descriptor);
        fail(FileProblem::ReadFailed, error);
        return;
    }
    if (const FileProblem kind = kindOf(info.st_mode); kind != FileProblem::None) {
        ::close(descriptor);
        fail(kind);
        return;
    }
    // Reads of a regular file never wait; the flag only mattered while opening.
    if (const int flags = ::fcntl(descriptor, F_GETFL); flags >= 0)
        ::fcntl(descriptor, F_SETFL, flags & ~O_NONBLOCK);
    descriptor_ = descriptor;
    size_ = qint64(info.st_size);
}

RegularFile::~RegularFile()
{
    if (descriptor_ >= 0)
        ::close(descriptor_);
}

void RegularFile::fail(FileProblem problem, int error)
{
    problem_ = problem;
    if (error != 0)
        systemReason_ = QString::fromLocal8Bit(std::strerror(error));
}

std::optional<QByteArray> RegularFile::readAll(qint64 maxBytes)
{
    if (descriptor_ < 0)
        return std::nullopt;
    if (size_ > maxBytes) {
        fail(FileProblem::TooLarge);
        return std::nullopt;
    }
    // The file may grow while it is read: one byte more than allowed is asked for, and a file
    // that gives it is too large.
    QByteArray bytes(qsizetype(size_) + 1, Qt::Uninitialized);
    qsizetype filled = 0;
    for (;;) {
        if (filled == bytes.size()) {
            if (filled > maxBytes) {
                fail(FileProblem::TooLarge);
                return std::nullopt;
            }
            bytes.resize(std::min<qsizetype>(qsizetype(maxBytes) + 1, std::max<qsizetype>(filled * 2, 4096)));
        }
        const ssize_t n = ::read(descriptor_, bytes.data() + filled, size_t(bytes.size() - filled));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            fail(FileProblem::ReadFailed, errno);
            return std::nullopt;
        }
        if (n == 0)
            break;
        filled += n;
    }
    if (filled > maxBytes) {
        fail(FileProblem::TooLarge);
        return std::nullopt;
    }
    bytes.truncate(filled);
    return bytes;
}

bool isValidUtf8Name(QByteArrayView name)
{
    return name.isValidUtf8();
}
