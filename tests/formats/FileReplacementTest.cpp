#include "FileSizeLimit.h"
#include "TestSupport.h"

#include "formats/FileReplacement.h"
#include "formats/JpegWriter.h"
#include "model/KeyValueFile.h"

#include <QDir>
#include <QImage>

#include <gtest/gtest.h>

#include <functional>

namespace {

TEST(FileReplacement, ADiskThatTakesPartOfTheBytesLeavesTheOldFile)
{
    const QString folder = freshFolder("replace-partial");
    const QString path = folder + "/out";
    const QByteArray old("old contents\n");
    QImage picture(64, 64, QImage::Format_RGB888);
    picture.fill(Qt::red);
    const std::vector<std::pair<const char*, std::function<void()>>> writers = {
        {"bytes", [&] { ASSERT_TRUE(replaceFile(path, QByteArray(5000, 'x')).has_value()); }},
        {"settings", [&] { EXPECT_THROW(KeyValueFile(path).writeString("PHOTO", "WATERMARK", QString(500, 'w')), FileWriteError); }},
        {"jpeg", [&] { EXPECT_ANY_THROW(writeJpeg(picture, path)); }},
    };
    for (const auto& [name, write] : writers) {
        SCOPED_TRACE(name);
        writeFileBytes(path, old);
        {
            FileSizeLimit limit(100);
            write();
        }
        EXPECT_EQ(readFileBytes(path), old);
        EXPECT_EQ(QDir(folder).entryList(QDir::Files), QStringList{"out"});
    }
}

TEST(FileReplacement, WritesEveryByte)
{
    const QString path = freshFolder("replace-whole") + "/out";
    QByteArray bytes(300000, '\0');
    for (int i = 0; i < bytes.size(); ++i)
        bytes[i] = char(i * 7);
    EXPECT_FALSE(replaceFile(path, bytes).has_value());
    EXPECT_EQ(readFileBytes(path), bytes);
    EXPECT_TRUE(replaceFile(freshFolder("replace-missing") + "/no/such/folder", bytes).has_value());
}

} // namespace
