#pragma once

#include <QString>

#include <stdexcept>
#include <string>

// The error a picture file gives when it cannot be read: unknown extension, unreadable
// or malformed file, unsupported variant, size over the limits. what() holds the UTF-8
// message the user sees.
//
// A decoder throws only the reason, one plain sentence without the file's name ("The file
// ends before the picture data is complete."); the format registry, which knows the file,
// turns it into the one line the user sees with cannotOpen().
class PictureError : public std::runtime_error {
public:
    explicit PictureError(const std::string& message) : std::runtime_error(message) {}
    explicit PictureError(const char* message) : std::runtime_error(message) {}
    explicit PictureError(const QString& message) : std::runtime_error(message.toStdString()) {}

    // "Cannot open <path>. <reason>", the reason ending with a period.
    static PictureError cannotOpen(const QString& path, const QString& reason)
    {
        QString text = QStringLiteral("Cannot open %1. %2").arg(path, reason.trimmed());
        if (!text.endsWith(QLatin1Char('.')))
            text += QLatin1Char('.');
        return PictureError(text);
    }

    QString message() const { return QString::fromUtf8(what()); }
};

// Reasons several decoders give, worded once.
namespace PictureReason {
inline constexpr const char* kTruncated = "The file ends before the picture data is complete.";
inline constexpr const char* kDamaged = "The picture data is damaged.";
inline constexpr const char* kOutOfMemory = "There is not enough memory to read the picture.";
} // namespace PictureReason
