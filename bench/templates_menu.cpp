// Building the template commands from a store of 500 templates (every other one with a tool
// bar button): what the main window does at start-up and after Add and Manage. Beside it, in
// the same run, the reading of the same store alone (read_ms), so the counters show what the
// menu items and buttons add on top of reading the file.
#include "model/ProgramFolder.h"
#include "model/TemplateStore.h"
#include "ui/window/FormMain.h"

#include "QuietDesktop.h"

#include <benchmark/benchmark.h>

#include <QAction>
#include <QElapsedTimer>
#include <QMenu>

namespace {

constexpr int kTemplates = 500;

void writeStore()
{
    QList<TemplateContent> templates;
    const TPhotoInfo settings;
    for (int i = 0; i < kTemplates; ++i)
        templates.append({QStringLiteral("Template %1 for the web").arg(i), i % 2 == 0, &settings});
    rewriteTemplates(templatesFilePath(), templates);
}

void BM_BuildTemplateCommands(benchmark::State& state)
{
    writeStore();
    QuietDesktop desktop;
    TFormMain window(desktop);
    QAction* manage = window.Item(QStringLiteral("MenuManage"));
    double buildNs = 0;
    double readNs = 0;
    QElapsedTimer timer;
    for (auto _ : state) {
        // Manage closes at once here (the quiet desktop answers every dialog with Cancel), so
        // the command is the rebuild: remove every item and button, read the store, add them.
        timer.start();
        manage->trigger();
        buildNs += double(timer.nsecsElapsed());
        timer.start();
        benchmark::DoNotOptimize(readTemplates(templatesFilePath()).size());
        readNs += double(timer.nsecsElapsed());
    }
    const double n = double(state.iterations());
    state.counters["items"] = double(window.TemplatesMenu()->actions().size() - 3);
    state.counters["build_ms"] = buildNs / 1e6 / n;
    state.counters["read_ms"] = readNs / 1e6 / n;
}

} // namespace

BENCHMARK(BM_BuildTemplateCommands)->Unit(benchmark::kMillisecond)->Iterations(20);
