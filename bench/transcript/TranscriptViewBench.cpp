// Time to add one line to the transcript view (render and show), offscreen, at 100, 1,000 and
// 10,000 lines: appending the entry to the live document, as the chat window does, against
// loading the whole page again. Prints a table and one JSON line per figure.

#include "CHtmlCtrl.h"
#include "Codec.h"
#include "Transcript.h"
#include "TranscriptPage.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QWebEngineLoadingInfo>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <optional>
#include <vector>

using namespace vessaro;

namespace {

constexpr int kTimeoutMs = 120000;

// Runs the event loop until done() holds; answers every event at once.
bool RunUntil(const std::function<bool()>& done) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > kTimeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}

// The number of elements in the body, asked after everything queued before it: scripts run in
// order, so the answer reflects every append made so far. The answer's state lives on the heap,
// so an answer that comes after a time-out finds nothing gone.
int ChildCount(CHtmlCtrl& view) {
    auto answer = std::make_shared<std::optional<int>>();
    view.page()->runJavaScript("document.body ? document.body.childElementCount : -1",
                               [answer](const QVariant& v) { *answer = v.toInt(); });
    RunUntil([&] { return answer->has_value(); });
    return answer->value_or(-1);
}

// Shown means the engine has the line in its document: each entry adds two paragraphs.
bool WaitShown(CHtmlCtrl& view, std::size_t entries) {
    return RunUntil([&] { return ChildCount(view) == int(entries * 2); });
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

struct Figure {
    std::size_t lines;
    double appendMs;
    double reloadMs;
};

Figure Measure(std::size_t lines, int samples) {
    Transcript transcript(EncodeGbkOrEmpty("我"), EncodeGbkOrEmpty("小红"));
    for (std::size_t i = 0; i < lines; ++i)
        transcript.Add(EncodeGbkOrEmpty("第" + std::to_string(i) +
                                        "行：你好，今天天气不错 http://x/" + std::to_string(i)),
                       int(i % 2));
    CHtmlCtrl view;
    view.resize(640, 480);
    view.show();
    view.InitDocument();
    view.LoadHtml(BuildPage(transcript.entries()));
    WaitShown(view, transcript.entries().size());

    std::vector<double> append, reload;
    for (int s = 0; s < samples; ++s) {
        auto start = std::chrono::steady_clock::now();
        const ChatEntry& e = transcript.Add(EncodeGbkOrEmpty("新的一行"), 1);
        view.AppendHtml(EntryHtml(e));
        WaitShown(view, transcript.entries().size());
        append.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count());
    }
    for (int s = 0; s < (lines >= 10000 ? 1 : std::max(1, samples / 4)); ++s) {
        auto start = std::chrono::steady_clock::now();
        transcript.Add(EncodeGbkOrEmpty("新的一行"), 0);
        view.LoadHtml(BuildPage(transcript.entries()));
        WaitShown(view, transcript.entries().size());
        reload.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count());
    }
    return {lines, Median(append), Median(reload)};
}

} // namespace

int main(int argc, char** argv) {
    CHtmlCtrl::RegisterScheme();
    QApplication app(argc, argv);
    const bool smoke = argc > 1 && std::string(argv[1]) == "--smoke";
    const std::vector<std::size_t> sizes =
        smoke ? std::vector<std::size_t>{10, 100} : std::vector<std::size_t>{100, 1000, 10000};
    const int samples = smoke ? 4 : 20;

    std::vector<Figure> figures;
    for (std::size_t n : sizes) {
        figures.push_back(Measure(n, samples));
        std::fprintf(stderr, "measured %zu lines\n", n);
    }

    std::printf("%-10s %18s %18s\n", "lines", "append line (ms)", "reload page (ms)");
    for (const Figure& f : figures)
        std::printf("%-10zu %18.2f %18.2f\n", f.lines, f.appendMs, f.reloadMs);
    for (const Figure& f : figures)
        std::printf("{\"figure\":\"transcript_add_line_ms\",\"lines\":%zu,\"append\":%.3f,"
                    "\"reload\":%.3f}\n",
                    f.lines, f.appendMs, f.reloadMs);
    const double ratio = figures.back().appendMs / figures.front().appendMs;
    const bool met = ratio <= 2.0;
    std::printf("transcript: adding a line at %zu lines costs %.2fx what it costs at %zu "
                "(target <= 2x): %s\n",
                figures.back().lines, ratio, figures.front().lines, met ? "met" : "NOT met");
    std::printf(
        "{\"figure\":\"transcript_growth_ratio\",\"value\":%.3f,\"target\":2.0,\"met\":%s}\n",
        ratio, met ? "true" : "false");
    return 0;
}
