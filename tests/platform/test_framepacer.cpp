// The frame pacer: a stream of repaint requests, as live data brings them,
// reaches the widget as at most one paint per frame, and the last request of
// the stream is painted, with every part that was asked for.
#include "platform/framepacer.h"
#include "testutil.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QPaintEvent>
#include <QPointer>
#include <QWidget>

namespace {

class CountingWidget : public QWidget {
public:
    int paints = 0;
    QRegion painted;

protected:
    void paintEvent(QPaintEvent* event) override {
        ++paints;
        painted += event->region();
    }
};

TEST(FramePacerTest, ManyRequestsBecomeAtMostOnePaintPerFrame) {
    CountingWidget w;
    w.resize(200, 100);
    w.show();
    ASSERT_TRUE(PumpUntil([&] { return w.paints > 0; }));
    const int before = w.paints;
    QElapsedTimer clock;
    clock.start();
    int requests = 0;
    // A block every pass of the event loop, for 200 ms.
    while (clock.elapsed() < 200) {
        CFramePacer::Update(&w);
        ++requests;
        QCoreApplication::processEvents();
    }
    const qint64 elapsed = clock.elapsed();
    ASSERT_TRUE(PumpUntil([&] { return w.paints > before; }));
    const int paints = w.paints - before;
    EXPECT_GT(requests, paints);
    EXPECT_LE(paints, elapsed / CFramePacer::kFrameMs + 2);
}

TEST(FramePacerTest, TheLastRequestsOfAFrameArePaintedWithAllTheirParts) {
    CountingWidget w;
    w.resize(200, 100);
    w.show();
    ASSERT_TRUE(PumpUntil([&] { return w.paints > 0; }));
    // The first request is handed on at once; those right after it wait for
    // the frame's end and are then painted together.
    CFramePacer::Update(&w, QRect(0, 0, 10, 10));
    ASSERT_TRUE(PumpUntil([&] { return w.painted.contains(QRect(0, 0, 10, 10)); }));
    w.painted = QRegion();
    CFramePacer::Update(&w, QRect(20, 20, 10, 10));
    CFramePacer::Update(&w, QRect(100, 50, 10, 10));
    ASSERT_TRUE(PumpUntil([&] { return !w.painted.isEmpty(); }));
    ASSERT_TRUE(PumpUntil([&] {
        return w.painted.contains(QRect(20, 20, 10, 10)) &&
               w.painted.contains(QRect(100, 50, 10, 10));
    }));
    CFramePacer::Update(nullptr); // nothing to repaint
}

// Counts the passes in which the toolkit paints the window and sends it to
// the display.
class PassCounter : public QObject {
public:
    int passes = 0;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::UpdateRequest)
            ++passes;
        return QObject::eventFilter(watched, event);
    }
};

// A window with two views side by side, as a live window's spectrum and graph.
struct TwoViews {
    QWidget window;
    CountingWidget* left = new CountingWidget;
    CountingWidget* right = new CountingWidget;
    TwoViews() {
        window.resize(400, 100);
        left->setParent(&window);
        right->setParent(&window);
        left->setGeometry(0, 0, 200, 100);
        right->setGeometry(200, 0, 200, 100);
    }
};

TEST(FramePacerTest, TheWidgetsOfAWindowArePaintedInOnePassPerFrame) {
    TwoViews views;
    QWidget& window = views.window;
    CountingWidget* spectrum = views.left;
    CountingWidget* graph = views.right;
    window.show();
    ASSERT_TRUE(PumpUntil([&] { return spectrum->paints > 0 && graph->paints > 0; }));
    PassCounter counter;
    window.installEventFilter(&counter);
    const int spectrumBefore = spectrum->paints;
    const int graphBefore = graph->paints;
    QElapsedTimer clock;
    clock.start();
    // Two views of one window fed out of step: the graph's stream starts
    // half a frame after the spectrum's.
    while (clock.elapsed() < 300) {
        CFramePacer::Update(spectrum);
        if (clock.elapsed() >= CFramePacer::kFrameMs / 2)
            CFramePacer::Update(graph);
        QCoreApplication::processEvents();
    }
    const qint64 elapsed = clock.elapsed();
    ASSERT_TRUE(PumpUntil([&] { return graph->paints > graphBefore + 1; }));
    EXPECT_GT(spectrum->paints, spectrumBefore);
    EXPECT_LE(counter.passes, elapsed / CFramePacer::kFrameMs + 3);
    window.removeEventFilter(&counter);
}

// A view that goes while its repaint waits for the frame leaves nothing
// behind; a view of another top-level window (a dialog, a floating panel)
// keeps its own frames: its repaint is not held by this window's frame.
TEST(FramePacerTest, AGoneViewIsSkippedAndOtherWindowsKeepTheirOwnFrames) {
    TwoViews views;
    QWidget& window = views.window;
    CountingWidget* spectrum = views.left;
    CountingWidget* gone = views.right;
    CountingWidget panel; // a window of its own
    panel.resize(100, 100);
    window.show();
    panel.show();
    ASSERT_TRUE(PumpUntil([&] { return spectrum->paints > 0 && panel.paints > 0; }));
    // The window's frame is taken: the requests below wait for its end.
    const int spectrumBefore = spectrum->paints;
    CFramePacer::Update(spectrum);
    CFramePacer::Update(gone);
    CFramePacer::Update(spectrum, QRect(0, 0, 5, 5));
    delete gone;
    const int panelBefore = panel.paints;
    CFramePacer::Update(&panel);
    ASSERT_TRUE(PumpUntil([&] { return panel.paints > panelBefore; }));
    ASSERT_TRUE(PumpUntil([&] { return spectrum->paints >= spectrumBefore + 2; }));
}

int PacersOf(const QWidget& window) {
    int pacers = 0;
    for (QObject* child : window.children())
        pacers += dynamic_cast<CFramePacer*>(child) != nullptr;
    return pacers;
}

// The window's pacer is found however many objects, widgets or not, were
// given to the window after it: a second pacer would split the window's
// repaints into two passes per frame again.
TEST(FramePacerTest, AWindowKeepsOnePacerWhateverItGainsAfterIt) {
    QWidget window;
    window.resize(200, 100);
    auto* view = new CountingWidget;
    view->setParent(&window);
    view->setGeometry(0, 0, 200, 100);
    window.show();
    ASSERT_TRUE(PumpUntil([&] { return view->paints > 0; }));
    CFramePacer::Update(view);
    ASSERT_EQ(PacersOf(window), 1);
    // Made after the pacer: a timer, an action, a dialog, another view.
    new QObject(&window);
    auto* later = new CountingWidget;
    later->setParent(&window);
    QWidget dialog(&window, Qt::Dialog);
    auto* field = new CountingWidget;
    field->setParent(&dialog);
    CFramePacer::Update(view);
    CFramePacer::Update(later);
    CFramePacer::Update(&window);
    EXPECT_EQ(PacersOf(window), 1);
    // A dialog's views have their own pacer, not the window's.
    CFramePacer::Update(field);
    EXPECT_EQ(PacersOf(window), 1);
    EXPECT_EQ(PacersOf(dialog), 1);
    // A view moved to the dialog is paced by the dialog's pacer.
    later->setParent(&dialog);
    CFramePacer::Update(later);
    EXPECT_EQ(PacersOf(window), 1);
    EXPECT_EQ(PacersOf(dialog), 1);
}

// Asks for a repaint of a view as it goes, as a view whose core is stopped
// while its window is taken down does.
class RepaintOnDelete : public QObject {
public:
    RepaintOnDelete(QWidget* window, QWidget* view) : QObject(window), m_view(view) {}
    ~RepaintOnDelete() override { CFramePacer::Update(m_view); }

private:
    QPointer<QWidget> m_view;
};

// While a window deletes its children, those already gone leave empty places
// among them; a repaint asked for then must not stumble on them.
TEST(FramePacerTest, ARepaintAskedForWhileTheWindowGoesIsHarmless) {
    auto* window = new QWidget;
    window->resize(200, 100);
    auto* first = new CountingWidget;
    first->setParent(window);
    window->show();
    ASSERT_TRUE(PumpUntil([&] { return first->paints > 0; }));
    CFramePacer::Update(first); // the window's pacer is made
    // Given to the window after its pacer, so it goes after it.
    new RepaintOnDelete(window, window);
    delete window;
}

} // namespace
