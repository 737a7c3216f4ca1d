#pragma once

// Where the shared sample pictures with their reference decodes are: the folder named by the
// environment variable LUMATRIM_CORPUS when it is set, else the folder chosen when the build
// was configured (../shared/corpus beside the checkout). Without that folder the tests that
// read it skip with one line naming it; header-only so that the GoogleTest and the Qt Test
// programs share it.

#include <QByteArray>
#include <QDir>
#include <QFileInfo>
#include <QString>

inline QString corpusDir()
{
    const QString chosen = qEnvironmentVariable("LUMATRIM_CORPUS");
    return QDir::cleanPath(chosen.isEmpty() ? QString::fromUtf8(LUMATRIM_CORPUS_DIR) : chosen);
}

inline bool corpusPresent()
{
    return QFileInfo(corpusDir()).isDir();
}

// The reason a test gives when it skips for want of the corpus.
inline QByteArray corpusMissingLine()
{
    return "corpus folder missing: " + corpusDir().toUtf8();
}
