// The mail hand-over and the opening of pages through the desktop's helper programs: a helper
// that is missing or fails is reported, one that works is not. The helpers are replaced by
// small scripts on a PATH of the test's own.
#include "UiTestSupport.h"
#include "ui/desktop/Desktop.h"
#include "ui/desktop/DesktopLaunch.h"

#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

namespace {

// A PATH holding only the named helper scripts, each exiting with its status after writing
// its arguments to <name>.args in the folder.
class HelperPath {
public:
    explicit HelperPath(const QList<QPair<QString, int>>& helpers) : savedPath_(qgetenv("PATH"))
    {
        for (const auto& [name, status] : helpers) {
            QFile script(folder_.filePath(name));
            script.open(QIODevice::WriteOnly);
            script.write(QStringLiteral("#!/bin/sh\nprintf '%s\\n' \"$@\" > '%1.args'\nexit %2\n")
                             .arg(folder_.filePath(name))
                             .arg(status)
                             .toUtf8());
            script.close();
            script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        }
        qputenv("PATH", folder_.path().toUtf8());
    }
    ~HelperPath() { qputenv("PATH", savedPath_); }
    QString arguments(const QString& name) const
    {
        QFile file(folder_.filePath(name + QStringLiteral(".args")));
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()).trimmed() : QString();
    }

private:
    QTemporaryDir folder_;
    QByteArray savedPath_;
};

} // namespace

class DesktopLaunchTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { useFreshProgramFolder(); }

    void failingOrMissingHelperIsReported_data()
    {
        QTest::addColumn<QString>("helper");
        QTest::addColumn<int>("status"); // -1: not on the PATH
        QTest::addColumn<QString>("what"); // mail, or the URL to open
        QTest::addColumn<QString>("message");
        QTest::newRow("no xdg-email") << "xdg-email" << -1 << "mail"
                                      << "No e-mail program could be started. The photo was saved as /p/photo.jpg.";
        QTest::newRow("xdg-email finds no client") << "xdg-email" << 3 << "mail"
                                                   << "No e-mail program could be started. The photo was saved as /p/photo.jpg.";
        QTest::newRow("no xdg-open, help page") << "xdg-open" << -1 << "file:///p/Help/default.htm"
                                                << "No web browser could be started to show /p/Help/default.htm.";
        QTest::newRow("xdg-open fails, home page") << "xdg-open" << 4 << "https://example.org/"
                                                   << "No web browser could be started to open https://example.org/.";
        QTest::newRow("no xdg-open, support mail") << "xdg-open" << -1 << "mailto:help@example.org"
                                                   << "No e-mail program could be started to write to help@example.org.";
    }
    void failingOrMissingHelperIsReported()
    {
        QFETCH(QString, helper);
        QFETCH(int, status);
        QFETCH(QString, what);
        QFETCH(QString, message);
        HelperPath path(status < 0 ? QList<QPair<QString, int>>{} : QList<QPair<QString, int>>{{helper, status}});
        SystemDesktop desktop;
        ModalDriver driver;
        QString shown;
        driver.expect([&](QWidget* modal) {
            auto* box = qobject_cast<QMessageBox*>(modal);
            QVERIFY(box);
            QCOMPARE(box->windowTitle(), QStringLiteral("Lumatrim"));
            shown = box->text();
            box->accept();
        });
        if (what == QLatin1String("mail"))
            desktop.sendMail({QStringLiteral("/p/photo.jpg")});
        else
            desktop.openUrl(QUrl(what));
        QTRY_VERIFY_WITH_TIMEOUT(driver.seen, 5000);
        QCOMPARE(shown, message);
    }

    void workingHelperGetsTheFilesAndNothingIsReported()
    {
        HelperPath path({{QStringLiteral("xdg-email"), 0}, {QStringLiteral("xdg-open"), 0}});
        SystemDesktop desktop;
        desktop.sendMail({QStringLiteral("/p/a.jpg"), QStringLiteral("/p/b c.jpg")});
        desktop.openUrl(QUrl(QStringLiteral("https://example.org/a b")));
        QTRY_COMPARE(path.arguments(QStringLiteral("xdg-email")), QStringLiteral("--attach\n/p/a.jpg\n--attach\n/p/b c.jpg"));
        QTRY_COMPARE(path.arguments(QStringLiteral("xdg-open")), QStringLiteral("https://example.org/a%20b"));
        // Both helpers have ended with status 0 by now or soon; no message may follow.
        QTest::qWait(300);
        QVERIFY(!QApplication::activeModalWidget());
    }

    void mailFailureNamesWhereThePhotosAre()
    {
        QCOMPARE(mailFailureText({QStringLiteral("/out/a.jpg"), QStringLiteral("/out/b.jpg")}),
                 QStringLiteral("No e-mail program could be started. The photos were saved in /out."));
        QCOMPARE(mailFailureText({QStringLiteral("/out/a.jpg"), QStringLiteral("/other/b.jpg")}),
                 QStringLiteral("No e-mail program could be started. The photos were saved in /out, /other."));
    }
};

QTEST_MAIN(DesktopLaunchTest)
#include "tst_desktoplaunch.moc"
