#pragma once

// Large settings files the benchmarks read, made in the run: a lumatrim.dat grown to about
// 10 MB by sections of other keys around the program's own, and template stores of many
// templates. Beside each measurement the benchmarks time a plain read of the same file.
#include <QByteArray>
#include <QElapsedTimer>
#include <QFile>
#include <QString>

#include <benchmark/benchmark.h>

// A lumatrim.dat of about megabytes MB: [PHOTO] with the default settings block and
// BACKGROUND, [RECENT] with nine photos, and between them sections of ten keys each.
inline QByteArray largeSettingsFile(int megabytes)
{
    QByteArray bytes = "[PHOTO]\nSIZE=800\nOPTIMIZE=0\nKEEP=1\nWATERMARK=Lumatrim\nFONTNAME=Arial\nFONTSIZE=10\n"
                       "FONTCOLOR=clWhite\nBOLD=1\nITALIC=0\nUNDERLINE=0\nSTRIKEOUT=0\nOPACITY=128\nPOSITION=6\n"
                       "X=8\nY=8\nMASK=\nMARGIN=0\nCOLOR=clWhite\nBACKGROUND=clAppWorkSpace\n";
    for (int section = 0; bytes.size() < qsizetype(megabytes) * 1024 * 1024; ++section) {
        bytes += "[EXTRA" + QByteArray::number(section) + "]\n";
        for (int key = 0; key < 10; ++key)
            bytes += "KEY" + QByteArray::number(key) + "=value " + QByteArray::number(section * 10 + key) + '\n';
    }
    bytes += "[RECENT]\n";
    for (int slot = 1; slot <= 9; ++slot)
        bytes += "PHOTO" + QByteArray::number(slot) + "=/photos/holiday/" + QByteArray::number(slot) + ".jpg\n";
    return bytes;
}

inline void writeBenchFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
}

// Seconds of reading the whole file with QFile, the baseline of every settings benchmark.
inline double plainReadSeconds(const QString& path)
{
    QElapsedTimer timer;
    timer.start();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        qFatal("cannot read %s", qPrintable(path));
    benchmark::DoNotOptimize(file.readAll().size());
    return double(timer.nsecsElapsed()) / 1e9;
}
