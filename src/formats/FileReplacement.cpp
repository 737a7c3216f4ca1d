#include "FileReplacement.h"

#include <QSaveFile>

std::optional<QString> replaceFile(const QString& path, QByteArrayView bytes)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return file.errorString();
    qint64 written = 0;
    while (written < bytes.size()) {
        const qint64 n = file.write(bytes.data() + written, bytes.size() - written);
        if (n <= 0) {
            const QString reason = file.errorString();
            file.cancelWriting();
            return reason.isEmpty() ? QStringLiteral("the disk took only part of the file") : reason;
        }
        written += n;
    }
    if (!file.commit())
        return file.errorString();
    return std::nullopt;
}
