// lumatrim-render with files that are not what they seem: FIFOs and devices as the source, the
// settings or the mask, a settings file too large to read, and names that are not valid UTF-8.
// Each run is a child process with a time limit, so a hang fails the test instead of stopping
// the run; the arguments go to the tool byte for byte.
#include "model/KeyValueFile.h"

#include "ChildProcess.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QImage>

#include <cstdlib>
#include <vector>

#include <sys/stat.h>

namespace {

// Runs the tool with these arguments (bytes as they are) and LUMATRIM_HOME set to home.
ChildOutcome runTool(const std::vector<QByteArray>& args, const QString& home)
{
    return runInChild(
        [&] {
            setenv("LUMATRIM_HOME", QFile::encodeName(home).constData(), 1);
            std::vector<char*> argv;
            static char name[] = "lumatrim-render";
            argv.push_back(name);
            for (const QByteArray& arg : args)
                argv.push_back(const_cast<char*>(arg.constData()));
            argv.push_back(nullptr);
            execv(LUMATRIM_RENDER_EXE, argv.data());
            return 127;
        },
        60, rlim_t(2) << 30);
}

QByteArray bytesOf(const QString& path)
{
    return QFile::encodeName(path);
}

class RenderToolFiles : public ::testing::Test {
protected:
    void SetUp() override
    {
        folder_ = freshFolder(QStringLiteral("tool-files"));
        home_ = folder_ + QStringLiteral("/home");
        QDir().mkpath(home_);
        source_ = folder_ + QStringLiteral("/source.png");
        ASSERT_TRUE(solidBitmap(40, 30, 200, 100, 50).convertToFormat(QImage::Format_RGB888).save(source_, "PNG"));
        fifo_ = folder_ + QStringLiteral("/fifo.png");
        ASSERT_EQ(mkfifo(bytesOf(fifo_).constData(), 0600), 0);
    }

    QString folder_, home_, source_, fifo_;
};

TEST_F(RenderToolFiles, FifosAndDevicesNeverMakeItWaitOrReadWithoutEnd)
{
    const QString zero = folder_ + QStringLiteral("/zero.bmp");
    ASSERT_EQ(symlink("/dev/zero", bytesOf(zero).constData()), 0);
    const QString maskSettings = folder_ + QStringLiteral("/mask.dat");
    KeyValueFile(maskSettings).writeValues("PHOTO", {{"MASK", fifo_}, {"MARGIN", "3"}});
    const QString out = folder_ + QStringLiteral("/out.ppm");
    const struct {
        const char* name;
        std::vector<QByteArray> args;
        int exitCode;
        QString message;
    } cases[] = {
        {"source is a FIFO", {bytesOf(fifo_), bytesOf(out)}, 1, "Cannot open " + fifo_ + ". It is not a regular file."},
        {"source links to /dev/zero", {bytesOf(zero), bytesOf(out)}, 1,
         "Cannot open " + zero + ". It is not a regular file."},
        {"mask is a FIFO", {"--settings", bytesOf(maskSettings), bytesOf(source_), bytesOf(out)}, 0, QString()},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QFile::remove(out);
        const ChildOutcome outcome = runTool(c.args, home_);
        ASSERT_TRUE(outcome.exited) << outcome.describe();
        EXPECT_EQ(outcome.exitCode, c.exitCode) << outcome.describe();
        EXPECT_EQ(QString::fromUtf8(outcome.output).trimmed(), c.message);
        EXPECT_EQ(QFile::exists(out), c.exitCode == 0);
    }
    // A FIFO as the settings file: whatever the tool makes of it, it answers at once.
    const ChildOutcome settings = runTool({"--settings", bytesOf(fifo_), bytesOf(source_), bytesOf(out)}, home_);
    EXPECT_TRUE(settings.exited) << settings.describe();
    EXPECT_LE(settings.output.count('\n'), 1) << settings.describe();
}

TEST_F(RenderToolFiles, ASettingsFileOverTheCapIsTheErrorAndStaysAsItIs)
{
    const QString settings = home_ + QStringLiteral("/lumatrim.dat");
    writeFileBytes(settings, "[PHOTO]\nSIZE=20\n");
    ASSERT_TRUE(QFile::resize(settings, kMaxKeyValueFileBytes + 1));
    const QString out = folder_ + QStringLiteral("/out.ppm");
    const ChildOutcome outcome = runTool({bytesOf(source_), bytesOf(out)}, home_);
    ASSERT_TRUE(outcome.exited) << outcome.describe();
    EXPECT_EQ(outcome.exitCode, 1);
    EXPECT_EQ(QString::fromUtf8(outcome.output).trimmed(),
              "Unable to write to " + settings + ": the file is larger than 16 MB; Lumatrim does not read or change it");
    EXPECT_FALSE(QFile::exists(out));
    EXPECT_EQ(QFileInfo(settings).size(), kMaxKeyValueFileBytes + 1);
    // Settings named on the command line take its place.
    const QString other = folder_ + QStringLiteral("/other.dat");
    writeFileBytes(other, "[PHOTO]\nSIZE=20\n");
    const ChildOutcome named = runTool({"--settings", bytesOf(other), bytesOf(source_), bytesOf(out)}, home_);
    EXPECT_TRUE(named.exited && named.exitCode == 0) << named.describe();
    EXPECT_EQ(QImage(out).size(), QSize(20, 15));
}

TEST_F(RenderToolFiles, NamesThatAreNotValidUtf8AreRefusedAndNothingIsWritten)
{
    const QByteArray badSource = bytesOf(folder_) + "/bad\xff\xfe.png";
    ASSERT_TRUE(QFile::copy(source_, folder_ + "/plain.png"));
    ASSERT_EQ(rename(bytesOf(folder_ + "/plain.png").constData(), badSource.constData()), 0);
    const QByteArray badOutput = bytesOf(folder_) + "/o\xff\xfe.ppm";
    const struct {
        const char* name;
        std::vector<QByteArray> args;
        QByteArray named;
    } cases[] = {
        {"output", {bytesOf(source_), badOutput}, badOutput},
        {"source", {badSource, bytesOf(folder_ + "/out.ppm")}, badSource},
    };
    const QStringList before = QDir(folder_).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const ChildOutcome outcome = runTool(c.args, home_);
        ASSERT_TRUE(outcome.exited) << outcome.describe();
        EXPECT_EQ(outcome.exitCode, 1);
        EXPECT_EQ(outcome.output, c.named + ": The file name is not valid UTF-8.\n");
        EXPECT_EQ(QDir(folder_).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot), before);
    }
}

} // namespace
