#include "DesktopLaunch.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QUrl>

void launchDesktopHelper(const QString& program, const QStringList& arguments, std::function<void()> onFailure)
{
    auto* process = new QProcess(QCoreApplication::instance());
    process->setProgram(program);
    process->setArguments(arguments);
    // No pipes: the mail client or browser the helper starts must not inherit ours.
    process->setStandardInputFile(QProcess::nullDevice());
    process->setStandardOutputFile(QProcess::nullDevice());
    process->setStandardErrorFile(QProcess::nullDevice());
    auto failed = std::make_shared<bool>(false);
    auto fail = [process, failed, onFailure] {
        if (*failed)
            return;
        *failed = true;
        process->deleteLater();
        // Reported once the signal has returned: the report may run a modal message box.
        if (onFailure)
            QMetaObject::invokeMethod(QCoreApplication::instance(), onFailure, Qt::QueuedConnection);
    };
    QObject::connect(process, &QProcess::errorOccurred, process, [fail](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            fail();
    });
    QObject::connect(process, &QProcess::finished, process,
                     [process, fail](int exitCode, QProcess::ExitStatus status) {
                         if (status != QProcess::NormalExit || exitCode != 0)
                             fail();
                         else
                             process->deleteLater();
                     });
    process->start();
}

QString mailFailureText(const QStringList& files)
{
    const QString intro = QStringLiteral("No e-mail program could be started.");
    if (files.size() == 1)
        return intro + QStringLiteral(" The photo was saved as %1.").arg(QDir::toNativeSeparators(files.constFirst()));
    QStringList folders;
    for (const QString& file : files) {
        const QString folder = QDir::toNativeSeparators(QFileInfo(file).absolutePath());
        if (!folders.contains(folder))
            folders << folder;
    }
    return intro + QStringLiteral(" The photos were saved in %1.").arg(folders.join(QStringLiteral(", ")));
}

QString openFailureText(const QUrl& url)
{
    if (url.scheme() == QLatin1String("mailto"))
        return QStringLiteral("No e-mail program could be started to write to %1.").arg(url.path());
    if (url.isLocalFile())
        return QStringLiteral("No web browser could be started to show %1.").arg(QDir::toNativeSeparators(url.toLocalFile()));
    return QStringLiteral("No web browser could be started to open %1.").arg(url.toString());
}
