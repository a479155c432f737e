#include <gtest/gtest.h>

#include <GL/gl.h>

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QPrinter>
#include <QScreen>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include "panel_fixture.h"

namespace {

struct RedPanel : ShownPanel {
    RedPanel() {
        panel->OnPaint = [](TOpenGLPanel*) {
            glClearColor(1, 0, 0, 1);
            glClear(GL_COLOR_BUFFER_BIT);
        };
    }
};

QByteArray head(const QString& path, int n) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.read(n) : QByteArray();
}

}  // namespace

TEST(PanelImage, SavedPictureIsBmpOrPngByTheNamesEnding) {
    RedPanel r;
    ASSERT_TRUE(r.show());
    QTemporaryDir dir;
    const struct {
        const char* name;
        QByteArray magic;
    } cases[] = {{"a.bmp", "BM"}, {"b.PNG", "\x89PNG"}, {"c.png", "\x89PNG"}, {"d", "BM"}};
    for (const auto& c : cases) {
        const QString path = dir.filePath(QString::fromLatin1(c.name));
        ASSERT_TRUE(r.panel->saveImageAs(path)) << c.name;
        EXPECT_EQ(head(path, c.magic.size()), c.magic) << c.name;
        const QImage back(path, c.magic == "BM" ? "BMP" : "PNG");
        ASSERT_EQ(back.size(), QSize(200, 60)) << c.name;
        EXPECT_EQ(back.pixel(10, 10), qRgb(255, 0, 0)) << c.name;
    }
    EXPECT_TRUE(notCurrent(r.panel));
}

TEST(PanelImage, BitmapIsWrittenAtTheDisplaysDepth) {
    RedPanel r;
    ASSERT_TRUE(r.show());
    QTemporaryDir dir;
    const QString path = dir.filePath("depth.bmp");
    ASSERT_TRUE(r.panel->SaveOpenGLPanelToFile(path));
    const QByteArray h = head(path, 30);
    ASSERT_EQ(h.size(), 30);
    const int bitCount = static_cast<unsigned char>(h[28]) | static_cast<unsigned char>(h[29]) << 8;
    EXPECT_EQ(bitCount, r.panel->GetDisplayBPP() >= 24 ? 24 : r.panel->GetDisplayBPP());
    EXPECT_FALSE(r.panel->SaveOpenGLPanelToFile(dir.filePath("no/such/folder/x.bmp")));
}

TEST(PanelImage, DisplayDepthCanBeReadButNotChanged) {
    RedPanel r;
    ASSERT_TRUE(r.show());
    const int depth = r.panel->GetDisplayBPP();
    EXPECT_EQ(depth, 24);  // the test display: -screen 0 1024x768x24
    EXPECT_FALSE(r.panel->SetDisplayBPP(16));
    EXPECT_TRUE(r.panel->SetDisplayBPP(depth));
}

TEST(PanelImage, PrintsOntoAPage) {
    RedPanel r;
    ASSERT_TRUE(r.show());
    QTemporaryDir dir;
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setResolution(600);
    printer.setOutputFileName(dir.filePath("panel.pdf"));
    r.panel->printTo(printer);
    EXPECT_EQ(head(printer.outputFileName(), 4), QByteArray("%PDF"));
    EXPECT_TRUE(notCurrent(r.panel));
}

// What capture returns is what the screen shows: the panel's own window,
// read back from the display.
TEST(PanelImage, CaptureIsWhatTheScreenShows) {
    RedPanel r;
    r.panel->OnPaint = [](TOpenGLPanel*) {
        glClearColor(0, 0, 0, 1);
        glClear(GL_COLOR_BUFFER_BIT);
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        glOrtho(0, 200, 0, 60, -1, 1);
        glColor3f(0.2f, 0.9f, 0.4f);
        glRecti(20, 10, 90, 50);
    };
    ASSERT_TRUE(r.show());
    const QImage captured = r.panel->capture().convertToFormat(QImage::Format_RGB32);
    const QPoint at = r.panel->mapToGlobal(QPoint(0, 0));
    // The swap reaches the X server on the GL driver's own connection, so
    // the screen may show it a moment after the panel has presented it.
    QImage screen;
    for (int tries = 0; tries < 100 && screen != captured; ++tries) {
        if (tries > 0) QThread::msleep(20);
        QCoreApplication::processEvents();
        screen = r.panel->screen()
                     ->grabWindow(0, at.x(), at.y(), 200, 60)
                     .toImage()
                     .convertToFormat(QImage::Format_RGB32);
    }
    ASSERT_EQ(screen.size(), captured.size());
    EXPECT_EQ(screen, captured);
    EXPECT_EQ(captured.pixel(50, 30), qRgb(51, 230, 102));
    EXPECT_EQ(captured.pixel(5, 5), qRgb(0, 0, 0));
}

// A right click on the panel offers saving and printing its picture.
TEST(PanelImage, RightClickOffersSavingAndPrinting) {
    RedPanel r;
    ASSERT_TRUE(r.show());
    QStringList offered;
    QTimer::singleShot(200, [&] {
        if (QWidget* popup = QApplication::activePopupWidget()) {
            for (QAction* a : popup->actions()) offered << a->text();
            popup->close();
        }
    });
    QTest::mousePress(r.panel->panelWindow(), Qt::RightButton, {}, QPoint(50, 20));
    EXPECT_EQ(offered, (QStringList{QStringLiteral("Сохранить изображение..."), QStringLiteral("Печать...")}));
}
