// Time to add one line to the transcript view (until the line is in the document and a frame has
// been drawn since), offscreen, at 100, 1,000 and
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

// Runs a script in the page and waits for its answer. Scripts run in order, so the answer
// reflects every append made before it. The answer's state lives on the heap, so an answer that
// comes after a time-out finds nothing gone.
QVariant Ask(CHtmlCtrl& view, const QString& script) {
    auto answer = std::make_shared<std::optional<QVariant>>();
    view.page()->runJavaScript(script, [answer](const QVariant& v) { *answer = v; });
    RunUntil([&] { return answer->has_value(); });
    return answer->value_or(QVariant());
}

// The text of the last paragraph of the page, found from the end: the newest line, at a cost that
// does not depend on the length of the page.
const QString kLastText = QStringLiteral(
    "(function () { var e = document.body; while (e && e.tagName != 'P' && e.lastElementChild) "
    "e = e.lastElementChild; return e ? e.textContent : ''; })()");

using Clock = std::chrono::steady_clock;

double MillisSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// The time from start until the engine has the line in its document (laid out: the view's
// script scrolls to the end, which needs the layout), and until it has drawn a frame since.
struct Shown {
    double inDocumentMs = 0;
    double drawnMs = 0;
};

Shown WaitShown(CHtmlCtrl& view, const QString& text, Clock::time_point start) {
    Shown shown;
    if (!RunUntil([&] { return Ask(view, kLastText).toString().contains(text); })) {
        std::fprintf(stderr, "a line did not show in time: %s\n", qPrintable(text));
        return shown;
    }
    shown.inDocumentMs = MillisSince(start);
    // The second callback comes in the frame after the one that drew the line.
    Ask(view, QStringLiteral("window.benchFrame = false; requestAnimationFrame(function () { "
                             "requestAnimationFrame(function () { window.benchFrame = true; }); "
                             "}); 0"));
    RunUntil([&] { return Ask(view, QStringLiteral("window.benchFrame")).toBool(); });
    shown.drawnMs = MillisSince(start);
    return shown;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

struct Figure {
    std::size_t lines;
    double appendMs;      // in the document
    double appendDrawnMs; // and drawn
    double reloadMs;      // the whole page loaded and drawn
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
    WaitShown(view, QStringLiteral("第%1行").arg(lines - 1), Clock::now());

    int serial = 0;
    std::vector<double> append, appendDrawn, reload;
    for (int s = 0; s < samples; ++s) {
        const QString text = QStringLiteral("新的一行 %1").arg(++serial);
        const auto start = Clock::now();
        const ChatEntry& e = transcript.Add(EncodeGbkOrEmpty(text.toStdString()), 1);
        view.AppendHtml(EntryHtml(e));
        const Shown shown = WaitShown(view, text, start);
        append.push_back(shown.inDocumentMs);
        appendDrawn.push_back(shown.drawnMs);
    }
    for (int s = 0; s < (lines >= 10000 ? 1 : std::max(1, samples / 4)); ++s) {
        const QString text = QStringLiteral("新的一行 %1").arg(++serial);
        const auto start = Clock::now();
        transcript.Add(EncodeGbkOrEmpty(text.toStdString()), 0);
        view.LoadHtml(BuildPage(transcript.entries()));
        reload.push_back(WaitShown(view, text, start).drawnMs);
    }
    return {lines, Median(append), Median(appendDrawn), Median(reload)};
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

    std::printf("%-10s %22s %22s %18s\n", "lines", "append: in document", "append: drawn",
                "reload: drawn");
    for (const Figure& f : figures)
        std::printf("%-10zu %19.2f ms %19.2f ms %15.2f ms\n", f.lines, f.appendMs, f.appendDrawnMs,
                    f.reloadMs);
    for (const Figure& f : figures)
        std::printf("{\"figure\":\"transcript_add_line_ms\",\"lines\":%zu,\"append\":%.3f,"
                    "\"append_drawn\":%.3f,\"reload\":%.3f}\n",
                    f.lines, f.appendMs, f.appendDrawnMs, f.reloadMs);
    // Drawn is what the user sees; frames come at the display's pace, so the figure moves in
    // steps of a frame, and the in-document figure shows the work itself.
    const double ratio = figures.back().appendDrawnMs / figures.front().appendDrawnMs;
    const double workRatio = figures.back().appendMs / figures.front().appendMs;
    const bool met = ratio <= 2.0;
    std::printf("transcript: adding a line at %zu lines costs %.2fx what it costs at %zu, drawn "
                "(target <= 2x): %s; %.2fx in the document\n",
                figures.back().lines, ratio, figures.front().lines, met ? "met" : "NOT met",
                workRatio);
    std::printf("{\"figure\":\"transcript_growth_ratio\",\"value\":%.3f,\"in_document\":%.3f,"
                "\"target\":2.0,\"met\":%s}\n",
                ratio, workRatio, met ? "true" : "false");
    return 0;
}
