// Photos and masks that are not regular files: a FIFO would make the read wait forever for a
// writer, a link to /dev/zero or /dev/urandom would read without end. Each is refused with one
// line before anything is read, in a child process with a time limit and a capped address
// space, so that a regression shows as a failure instead of a hung or killed test run.
#include "model/PhotoCore.h"

#include "ChildProcess.h"
#include "DecoderChecks.h"
#include "TestSupport.h"

#include "formats/FormatRegistry.h"
#include "formats/RegularFile.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include <functional>

#include <fcntl.h>
#include <sys/stat.h>

namespace {

constexpr unsigned kHangSeconds = 60;
constexpr rlim_t kAddressSpace = rlim_t(2) << 30;

QString fifoAt(const QString& path)
{
    EXPECT_EQ(mkfifo(QFile::encodeName(path).constData(), 0600), 0) << path.toStdString();
    return path;
}

QString linkAt(const QString& path, const char* target)
{
    EXPECT_EQ(symlink(target, QFile::encodeName(path).constData()), 0) << path.toStdString();
    return path;
}

// The message loading the picture gives, worked out in a child process.
ChildOutcome loadInChild(const QString& path)
{
    return runInChild(
        [&] {
            std::fputs(decodeFailure([&] { loadPicture(path); }).c_str(), stdout);
            return 0;
        },
        kHangSeconds, kAddressSpace);
}

TEST(NonRegularFiles, PhotosThatAreNotRegularFilesAreRefusedWithoutReading)
{
    const QString folder = freshFolder(QStringLiteral("special-photos"));
    const QString fifo = fifoAt(folder + QStringLiteral("/fifo.jpg"));
    const QByteArray nonUtf8Name = QFile::encodeName(folder) + "/bad\xff\xfe.jpg";
    const int made = ::open(nonUtf8Name.constData(), O_WRONLY | O_CREAT, 0600);
    ASSERT_GE(made, 0);
    ::close(made);

    const struct {
        const char* name;
        QString path;
        const char* reason;
    } cases[] = {
        {"FIFO", fifo, "It is not a regular file."},
        {"link to a FIFO", linkAt(folder + "/fifo-link.png", QFile::encodeName(fifo).constData()),
         "It is not a regular file."},
        {"link to /dev/zero", linkAt(folder + "/zero.bmp", "/dev/zero"), "It is not a regular file."},
        {"link to /dev/urandom", linkAt(folder + "/random.tga", "/dev/urandom"), "It is not a regular file."},
        {"link to /dev/null", linkAt(folder + "/null.jpg", "/dev/null"), "It is not a regular file."},
        {"link to nothing", linkAt(folder + "/dangling.jpg", "/nonexistent/photo.jpg"), "The file does not exist."},
        // The toolkit reads the name with replacement characters; the file is there all the same.
        {"name not valid UTF-8", QFile::decodeName(nonUtf8Name), "The file name is not valid UTF-8."},
        {"replacement character, no such file", folder + QStringLiteral("/gone\uFFFD.jpg"), "The file does not exist."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const ChildOutcome outcome = loadInChild(c.path);
        ASSERT_TRUE(outcome.exited && outcome.exitCode == 0) << outcome.describe();
        EXPECT_EQ(QString::fromUtf8(outcome.output), "Cannot open " + c.path + ". " + QString::fromUtf8(c.reason));
    }
}

TEST(NonRegularFiles, AMaskThatIsAFifoOrADeviceLeavesThePhotoWithoutAMask)
{
    const QString folder = freshFolder(QStringLiteral("special-masks"));
    const QString source = folder + QStringLiteral("/photo.png");
    ASSERT_TRUE(solidBitmap(40, 30, 10, 20, 30).convertToFormat(QImage::Format_RGB888).save(source, "PNG"));
    const QString masks[] = {
        fifoAt(folder + QStringLiteral("/mask.bmp")),
        linkAt(folder + QStringLiteral("/zero.bmp"), "/dev/zero"),
        linkAt(folder + QStringLiteral("/random.wmf"), "/dev/urandom"),
    };
    for (const QString& mask : masks) {
        SCOPED_TRACE(mask.toStdString());
        const ChildOutcome outcome = runInChild(
            [&] {
                TPhotoInfo info(source);
                info.Mask = mask;
                info.BorderWidth = 2;
                PhotoCore photo;
                photo.SetPhotoInfo(&info);
                return photo.MaskPicture() == nullptr && !photo.Bitmap().isNull() ? 0 : 1;
            },
            kHangSeconds, kAddressSpace);
        EXPECT_TRUE(outcome.exited && outcome.exitCode == 0) << outcome.describe();
    }
}

TEST(RegularFile, ReadsAtMostTheBytesAskedFor)
{
    const QString folder = freshFolder(QStringLiteral("regular-file"));
    writeFileBytes(folder + "/ten.dat", QByteArray(10, 'x'));
    const struct {
        qint64 limit;
        bool read;
    } cases[] = {{9, false}, {10, true}, {11, true}};
    for (const auto& c : cases) {
        RegularFile file(folder + "/ten.dat");
        const std::optional<QByteArray> bytes = file.readAll(c.limit);
        EXPECT_EQ(bytes.has_value(), c.read) << c.limit;
        EXPECT_EQ(file.problem(), c.read ? FileProblem::None : FileProblem::TooLarge) << c.limit;
        if (bytes) {
            EXPECT_EQ(*bytes, QByteArray(10, 'x'));
        }
    }
    // An empty regular file reads as no bytes; /proc files report a size of 0 and have more.
    writeFileBytes(folder + "/empty.dat", {});
    EXPECT_EQ(RegularFile(folder + "/empty.dat").readAll(100), QByteArray());
    RegularFile status(QStringLiteral("/proc/self/status"));
    const std::optional<QByteArray> statusBytes = status.readAll(1 << 20);
    ASSERT_TRUE(statusBytes.has_value());
    EXPECT_TRUE(statusBytes->startsWith("Name:")) << statusBytes->left(40).toStdString();
}

} // namespace
