// The main of every benchmark program: the offscreen platform, large bitmaps kept in the heap
// as the program keeps them, a fresh program folder, and the application object text drawing
// (and, for the window benchmarks, the widgets) need.
#include "model/BitmapMemory.h"

#ifdef LUMATRIM_BENCH_WIDGETS
#include <QApplication>
using BenchApplication = QApplication;
#else
#include <QGuiApplication>
using BenchApplication = QGuiApplication;
#endif
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cstdlib>

int main(int argc, char** argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    keepLargeBitmapsInHeap();
    QTemporaryDir home;
    qputenv("LUMATRIM_HOME", home.path().toUtf8());
    BenchApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
