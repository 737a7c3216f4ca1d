// Full decodes of one 24-megapixel photo as JPEG, PNG and TIFF, each beside a reference
// tool run on the same file in the same run: djpeg for JPEG, "vips avg" (which decodes
// every pixel) for PNG and TIFF. The pictures are made by bench/decode_compare.sh into the
// folder named by LUMATRIM_BENCH_DATA (default build/bench-data).
//
// Times are wall-clock; the counter cpu_ms is the processor time of one decode (this
// process for Lumatrim, the child process for a tool), the fairer figure on a busy machine.
#include "formats/FormatRegistry.h"
#include "formats/PictureError.h"

#include <benchmark/benchmark.h>

#include <QFile>

#include <cstdlib>
#include <ctime>
#include <string>

#include <sys/resource.h>

namespace {

std::string benchFile(const char* name)
{
    const char* folder = std::getenv("LUMATRIM_BENCH_DATA");
    return std::string(folder && *folder ? folder : "build/bench-data") + "/" + name;
}

bool present(benchmark::State& state, const std::string& path)
{
    if (QFile::exists(QString::fromStdString(path)))
        return true;
    state.SkipWithError(("missing " + path + ": run bench/decode_compare.sh").c_str());
    return false;
}

double processCpuMs()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

double childrenCpuMs()
{
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    auto ms = [](const timeval& t) { return t.tv_sec * 1e3 + t.tv_usec / 1e3; };
    return ms(usage.ru_utime) + ms(usage.ru_stime);
}

void decodeWithLumatrim(benchmark::State& state, const char* name)
{
    const std::string path = benchFile(name);
    if (!present(state, path))
        return;
    const double start = processCpuMs();
    for (auto _ : state) {
        auto picture = loadPicture(QString::fromStdString(path));
        benchmark::DoNotOptimize(picture->width());
    }
    state.counters["cpu_ms"] = (processCpuMs() - start) / double(state.iterations());
}

void runTool(benchmark::State& state, const char* command, const char* name)
{
    const std::string path = benchFile(name);
    if (!present(state, path))
        return;
    const std::string line = std::string(command) + " '" + path + "' > /dev/null";
    const double start = childrenCpuMs();
    for (auto _ : state) {
        if (std::system(line.c_str()) != 0) {
            state.SkipWithError(("failed: " + line).c_str());
            return;
        }
    }
    state.counters["cpu_ms"] = (childrenCpuMs() - start) / double(state.iterations());
}

void BM_Jpeg_Lumatrim(benchmark::State& state) { decodeWithLumatrim(state, "photo.jpg"); }
void BM_Jpeg_Djpeg(benchmark::State& state) { runTool(state, "djpeg -ppm -outfile /dev/null", "photo.jpg"); }
void BM_Png_Lumatrim(benchmark::State& state) { decodeWithLumatrim(state, "photo.png"); }
void BM_Png_VipsAvg(benchmark::State& state) { runTool(state, "vips avg", "photo.png"); }
void BM_Tiff_Lumatrim(benchmark::State& state) { decodeWithLumatrim(state, "photo.tif"); }
void BM_Tiff_VipsAvg(benchmark::State& state) { runTool(state, "vips avg", "photo.tif"); }
void BM_TiffLzw_Lumatrim(benchmark::State& state) { decodeWithLumatrim(state, "photo-lzw.tif"); }
void BM_TiffLzw_VipsAvg(benchmark::State& state) { runTool(state, "vips avg", "photo-lzw.tif"); }

} // namespace

// Wall-clock time: the tools run in child processes.
BENCHMARK(BM_Jpeg_Lumatrim)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Jpeg_Djpeg)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Png_Lumatrim)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Png_VipsAvg)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Tiff_Lumatrim)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Tiff_VipsAvg)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_TiffLzw_Lumatrim)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_TiffLzw_VipsAvg)->Unit(benchmark::kMillisecond)->UseRealTime();
