#pragma once

#include <QString>

#include <stdexcept>
#include <string>

// The error a picture file gives when it cannot be read: unknown extension, unreadable
// or malformed file, unsupported variant, size over the limits. what() holds the UTF-8
// message the user sees.
class PictureError : public std::runtime_error {
public:
    explicit PictureError(const std::string& message) : std::runtime_error(message) {}
    explicit PictureError(const char* message) : std::runtime_error(message) {}
    explicit PictureError(const QString& message) : std::runtime_error(message.toStdString()) {}

    QString message() const { return QString::fromUtf8(what()); }
};
