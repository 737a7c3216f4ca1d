// Opening a 12-megapixel HEIC, AVIF, WebP and JPEG XL photo as the program does (the file
// through the format registry to the 24-bit bitmap), each beside the plainest full decode
// of the same file straight through its library's own API into RGB, in the same run. The
// files are made once per run from a photo-like picture by each library's encoder, with
// its fastest settings (the encoding is not timed). Times are wall-clock: libheif and
// libjxl decode on several threads. The counter cpu_ms is the processor time of one decode
// summed over all threads of this process, the fairer figure on a machine others share.
#include "BenchPictures.h"

#include "formats/FormatRegistry.h"
#include "formats/ImageConversion.h"

#include <benchmark/benchmark.h>

#include <QByteArray>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <map>
#include <vector>

#include <jxl/decode.h>
#include <jxl/decode_cxx.h>
#include <jxl/encode.h>
#include <jxl/encode_cxx.h>
#include <jxl/thread_parallel_runner.h>
#include <jxl/thread_parallel_runner_cxx.h>
#include <libheif/heif.h>
#include <webp/decode.h>
#include <webp/encode.h>

namespace {

constexpr int kWidth = 4000;
constexpr int kHeight = 3000;

// The picture as rows of red, green, blue without padding.
std::vector<uint8_t> rgbRows(const QImage& bgr)
{
    std::vector<uint8_t> rgb(size_t(bgr.width()) * size_t(bgr.height()) * 3);
    for (int y = 0; y < bgr.height(); ++y) {
        const uint8_t* s = bgr.constScanLine(y);
        uint8_t* d = rgb.data() + size_t(y) * size_t(bgr.width()) * 3;
        for (int x = 0; x < bgr.width(); ++x, s += 3, d += 3) {
            d[0] = s[2];
            d[1] = s[1];
            d[2] = s[0];
        }
    }
    return rgb;
}

heif_error appendBytes(heif_context*, const void* data, size_t size, void* out)
{
    static_cast<QByteArray*>(out)->append(static_cast<const char*>(data), qsizetype(size));
    return heif_error{heif_error_Ok, heif_suberror_Unspecified, "ok"};
}

QByteArray encodeHeif(const QImage& picture, heif_compression_format compression)
{
    heif_image* image = nullptr;
    heif_image_create(picture.width(), picture.height(), heif_colorspace_RGB, heif_chroma_interleaved_RGB, &image);
    heif_image_add_plane(image, heif_channel_interleaved, picture.width(), picture.height(), 8);
    int stride = 0;
    uint8_t* rows = heif_image_get_plane(image, heif_channel_interleaved, &stride);
    const std::vector<uint8_t> rgb = rgbRows(picture);
    for (int y = 0; y < picture.height(); ++y)
        std::memcpy(rows + size_t(y) * size_t(stride), rgb.data() + size_t(y) * size_t(picture.width()) * 3,
                    size_t(picture.width()) * 3);
    heif_context* context = heif_context_alloc();
    heif_encoder* encoder = nullptr;
    heif_context_get_encoder_for_format(context, compression, &encoder);
    heif_encoder_set_lossy_quality(encoder, 80);
    if (compression == heif_compression_HEVC)
        heif_encoder_set_parameter(encoder, "preset", "ultrafast");
    else
        heif_encoder_set_parameter(encoder, "speed", "9");
    heif_context_encode_image(context, image, encoder, nullptr, nullptr);
    QByteArray file;
    heif_writer writer{1, appendBytes};
    heif_context_write(context, &writer, &file);
    heif_encoder_release(encoder);
    heif_context_free(context);
    heif_image_release(image);
    return file;
}

QByteArray encodeWebp(const QImage& picture)
{
    uint8_t* out = nullptr;
    const size_t size = WebPEncodeBGR(picture.constBits(), picture.width(), picture.height(),
                                      int(picture.bytesPerLine()), 80, &out);
    QByteArray file(reinterpret_cast<const char*>(out), qsizetype(size));
    WebPFree(out);
    return file;
}

QByteArray encodeJxl(const QImage& picture)
{
    const JxlEncoderPtr encoder = JxlEncoderMake(nullptr);
    const JxlThreadParallelRunnerPtr runner =
        JxlThreadParallelRunnerMake(nullptr, JxlThreadParallelRunnerDefaultNumWorkerThreads());
    JxlEncoderSetParallelRunner(encoder.get(), JxlThreadParallelRunner, runner.get());
    JxlBasicInfo info;
    JxlEncoderInitBasicInfo(&info);
    info.xsize = uint32_t(picture.width());
    info.ysize = uint32_t(picture.height());
    JxlEncoderSetBasicInfo(encoder.get(), &info);
    JxlColorEncoding color;
    JxlColorEncodingSetToSRGB(&color, JXL_FALSE);
    JxlEncoderSetColorEncoding(encoder.get(), &color);
    JxlEncoderFrameSettings* settings = JxlEncoderFrameSettingsCreate(encoder.get(), nullptr);
    JxlEncoderSetFrameDistance(settings, 1.0f);
    JxlEncoderFrameSettingsSetOption(settings, JXL_ENC_FRAME_SETTING_EFFORT, 3);
    const std::vector<uint8_t> rgb = rgbRows(picture);
    const JxlPixelFormat format{3, JXL_TYPE_UINT8, JXL_NATIVE_ENDIAN, 0};
    JxlEncoderAddImageFrame(settings, &format, rgb.data(), rgb.size());
    JxlEncoderCloseInput(encoder.get());
    std::vector<uint8_t> out(1 << 20);
    size_t used = 0;
    for (;;) {
        uint8_t* next = out.data() + used;
        size_t available = out.size() - used;
        const JxlEncoderStatus status = JxlEncoderProcessOutput(encoder.get(), &next, &available);
        used = size_t(next - out.data());
        if (status != JXL_ENC_NEED_MORE_OUTPUT)
            break;
        out.resize(out.size() * 2);
    }
    return QByteArray(reinterpret_cast<const char*>(out.data()), qsizetype(used));
}

// The four files, made on first use into a folder that lasts until the program ends.
QString benchFile(const QString& extension)
{
    static QTemporaryDir folder;
    static std::map<QString, QString> made;
    if (const auto it = made.find(extension); it != made.end())
        return it->second;
    const QImage picture = photoLikePicture(kWidth, kHeight);
    QByteArray bytes;
    if (extension == QLatin1String("heic"))
        bytes = encodeHeif(picture, heif_compression_HEVC);
    else if (extension == QLatin1String("avif"))
        bytes = encodeHeif(picture, heif_compression_AV1);
    else if (extension == QLatin1String("webp"))
        bytes = encodeWebp(picture);
    else
        bytes = encodeJxl(picture);
    const QString path = folder.filePath(QStringLiteral("photo.") + extension);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
    return made[extension] = path;
}

double processCpuMs()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

// Sets cpu_ms when the benchmark ends.
struct CpuCounter {
    benchmark::State& state;
    double start = processCpuMs();
    ~CpuCounter() { state.counters["cpu_ms"] = (processCpuMs() - start) / double(std::max<int64_t>(1, state.iterations())); }
};

QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void openAsPhoto(benchmark::State& state, const char* extension)
{
    const QString path = benchFile(QString::fromLatin1(extension));
    const CpuCounter cpu{state};
    for (auto _ : state) {
        const QImage bitmap = toBgr888(loadPicture(path)->toImage());
        benchmark::DoNotOptimize(bitmap.constBits());
    }
    state.counters["file_kb"] = double(QFile(path).size()) / 1024;
}

// libheif's primary image decoded to interleaved RGB, with the library's default threads.
void libheifToRgb(benchmark::State& state, const char* extension)
{
    const QString path = benchFile(QString::fromLatin1(extension));
    const CpuCounter cpu{state};
    for (auto _ : state) {
        const QByteArray bytes = readAll(path);
        heif_context* context = heif_context_alloc();
        heif_context_read_from_memory_without_copy(context, bytes.constData(), size_t(bytes.size()), nullptr);
        heif_image_handle* handle = nullptr;
        heif_context_get_primary_image_handle(context, &handle);
        heif_image* image = nullptr;
        heif_decode_image(handle, &image, heif_colorspace_RGB, heif_chroma_interleaved_RGB, nullptr);
        benchmark::DoNotOptimize(heif_image_get_plane_readonly(image, heif_channel_interleaved, nullptr));
        heif_image_release(image);
        heif_image_handle_release(handle);
        heif_context_free(context);
    }
}

void libwebpToRgb(benchmark::State& state)
{
    const QString path = benchFile(QStringLiteral("webp"));
    const CpuCounter cpu{state};
    for (auto _ : state) {
        const QByteArray bytes = readAll(path);
        int width = 0;
        int height = 0;
        uint8_t* rgb = WebPDecodeRGB(reinterpret_cast<const uint8_t*>(bytes.constData()), size_t(bytes.size()), &width,
                                     &height);
        benchmark::DoNotOptimize(rgb);
        WebPFree(rgb);
    }
}

// libjxl's full image to 8-bit RGB on its thread pool, as its own tool decodes.
void libjxlToRgb(benchmark::State& state)
{
    const QString path = benchFile(QStringLiteral("jxl"));
    const CpuCounter cpu{state};
    for (auto _ : state) {
        const QByteArray bytes = readAll(path);
        const JxlDecoderPtr decoder = JxlDecoderMake(nullptr);
        const JxlThreadParallelRunnerPtr runner =
            JxlThreadParallelRunnerMake(nullptr, JxlThreadParallelRunnerDefaultNumWorkerThreads());
        JxlDecoderSetParallelRunner(decoder.get(), JxlThreadParallelRunner, runner.get());
        JxlDecoderSubscribeEvents(decoder.get(), JXL_DEC_BASIC_INFO | JXL_DEC_FULL_IMAGE);
        JxlDecoderSetInput(decoder.get(), reinterpret_cast<const uint8_t*>(bytes.constData()), size_t(bytes.size()));
        JxlDecoderCloseInput(decoder.get());
        const JxlPixelFormat format{3, JXL_TYPE_UINT8, JXL_NATIVE_ENDIAN, 0};
        std::vector<uint8_t> rgb;
        for (JxlDecoderStatus status = JxlDecoderProcessInput(decoder.get());
             status != JXL_DEC_SUCCESS && status != JXL_DEC_ERROR && status != JXL_DEC_NEED_MORE_INPUT;
             status = JxlDecoderProcessInput(decoder.get())) {
            if (status == JXL_DEC_NEED_IMAGE_OUT_BUFFER) {
                size_t size = 0;
                JxlDecoderImageOutBufferSize(decoder.get(), &format, &size);
                rgb.resize(size);
                JxlDecoderSetImageOutBuffer(decoder.get(), &format, rgb.data(), rgb.size());
            } else if (status == JXL_DEC_FULL_IMAGE) {
                break;
            }
        }
        benchmark::DoNotOptimize(rgb.data());
    }
}

BENCHMARK_CAPTURE(openAsPhoto, heic, "heic")->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3);
BENCHMARK_CAPTURE(libheifToRgb, heic, "heic")->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3);
BENCHMARK_CAPTURE(openAsPhoto, avif, "avif")->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3);
BENCHMARK_CAPTURE(libheifToRgb, avif, "avif")->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3);
BENCHMARK_CAPTURE(openAsPhoto, webp, "webp")->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3);
BENCHMARK(libwebpToRgb)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3);
BENCHMARK_CAPTURE(openAsPhoto, jxl, "jxl")->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3);
BENCHMARK(libjxlToRgb)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3);

} // namespace
