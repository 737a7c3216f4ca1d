#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <optional>

// What keeps a file from being read.
enum class FileProblem {
    None,
    Missing,      // no such file, or a link to nothing
    Folder,
    NotRegular,   // a FIFO, a device, a socket
    NoPermission,
    NameNotUtf8,  // the folder holds the file under a name that is not valid UTF-8
    TooLarge,     // more bytes than the reader takes
    ReadFailed,   // anything else the system refuses; systemReason() says what
};

// A file opened for reading only when it is a regular file once links are followed. Nothing
// else is opened for reading: a FIFO would wait for a writer forever, a device never ends.
// The file is looked at before it is opened, opened without waiting, and looked at again
// through the open descriptor, so a FIFO put in its place in between is refused all the same.
class RegularFile {
public:
    explicit RegularFile(const QString& path);
    ~RegularFile();
    RegularFile(const RegularFile&) = delete;
    RegularFile& operator=(const RegularFile&) = delete;

    bool isOpen() const { return descriptor_ >= 0; }
    int descriptor() const { return descriptor_; }
    FileProblem problem() const { return problem_; }
    // The system's words for the failure ("Input/output error").
    QString systemReason() const { return systemReason_; }
    // The size when the file was opened.
    qint64 size() const { return size_; }

    // The whole content when it is at most maxBytes; otherwise nothing, with TooLarge or
    // ReadFailed as the problem. Throws std::bad_alloc when the memory is not there.
    std::optional<QByteArray> readAll(qint64 maxBytes);

private:
    void fail(FileProblem problem, int error = 0);

    QString path_;
    int descriptor_ = -1;
    FileProblem problem_ = FileProblem::None;
    QString systemReason_;
    qint64 size_ = 0;
};

// Whether bytes given as a file name are valid UTF-8: the toolkit holds names as text, and
// any other bytes come back from it as a different name.
bool isValidUtf8Name(QByteArrayView name);
