// Every window kind on a screen at scale 2: each pane the program draws
// itself is drawn at the device resolution (its texts and diagonals have
// detail finer than a logical pixel, not 2 x 2 blocks of an enlarged
// picture), while saved images keep their 640 x 480 pixels.
#include "analysis/analysiscore.h"
#include "analysis/loggingoutput.h"
#include "app/childframe.h"
#include "app/mainframe.h"
#include "modes/corefactory.h"
#include "platform/profile.h"
#include "testutil.h"
#include "windowtest.h"

#include <QImage>
#include <QWidget>

#include <gtest/gtest.h>

#include <memory>

namespace {

// The 2 x 2 blocks of the logical grid whose four device pixels differ: a
// picture drawn at the logical size and enlarged has none.
int FineBlocks(const QImage& image) {
    int n = 0;
    for (int y = 0; y + 1 < image.height(); y += 2) {
        for (int x = 0; x + 1 < image.width(); x += 2) {
            const QRgb c = image.pixel(x, y);
            n += image.pixel(x + 1, y) != c || image.pixel(x, y + 1) != c ||
                 image.pixel(x + 1, y + 1) != c;
        }
    }
    return n;
}

// The widget painted as a screen at scale 2 would show it.
QImage AtScale2(QWidget* widget) {
    QImage image(widget->size() * 2, QImage::Format_RGB32);
    image.setDevicePixelRatio(2.0);
    image.fill(Qt::magenta);
    widget->render(&image);
    return image;
}

class HiDpiTest : public AnalysisWindowTest {};

} // namespace

TEST_F(HiDpiTest, EveryKindsPanesAreDrawnAtTheDeviceResolution) {
    auto frame = std::make_unique<CMainFrame>([](const CString&) {});
    frame->SetCoreFactory(CreateAnalysisCore);
    ASSERT_TRUE(frame->Create(false));
    frame->resize(1000, 760);
    frame->show();
    for (int kind = 1; kind <= 7; ++kind) {
        SCOPED_TRACE("kind " + std::to_string(kind));
        CChildFrame* window = frame->OpenAnalysisWindow(kind, "HiDpi", 1);
        ASSERT_TRUE(window);
        window->showMaximized();
        PumpUntil([] { return false; }, std::chrono::milliseconds(300));
        // The program's own drawing: the widgets that paint every pixel.
        int panes = 0;
        for (QWidget* pane : window->findChildren<QWidget*>()) {
            if (!pane->testAttribute(Qt::WA_OpaquePaintEvent) || !pane->isVisible() ||
                pane->width() < 40 || pane->height() < 20)
                continue;
            ++panes;
            const QImage image = AtScale2(pane);
            EXPECT_EQ(image.pixel(1, 1) == qRgb(255, 0, 255), false)
                << pane->metaObject()->className() << " paints its corner";
            EXPECT_GT(FineBlocks(image), 20)
                << pane->metaObject()->className() << " " << pane->width() << "x" << pane->height()
                << " is an enlarged picture";
        }
        EXPECT_GE(panes, 1);
        // Images keep their specified size whatever the screen.
        const QImage saved = window->GetCore()->GetLoggingOutput().RenderImage(false);
        EXPECT_EQ(saved.size(), QSize(640, 480));
        EXPECT_EQ(saved.devicePixelRatio(), 1.0);
        window->close();
        PumpUntil([] { return false; }, std::chrono::milliseconds(50));
    }
}
