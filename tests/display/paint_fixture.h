#pragma once
// A panel shown under Xvfb with the fonts of the main window's panels, whose
// init and paint events run the system's own handlers over a test record.

#include <GL/gl.h>

#include <QImage>
#include <QTest>
#include <QWidget>
#include <functional>
#include <memory>

#include "app/record/live_record.h"
#include "display/opengl_panel_surface.h"
#include "display/panel_init.h"
#include "display/panel_snapshot.h"
#include "glpanel/opengl_panel.h"

namespace m797::testing {

enum class PanelKind { Chart, StatusStrip, Passport };

struct PaintedPanel {
    std::unique_ptr<LiveRecord> record = std::make_unique<LiveRecord>();
    std::unique_ptr<QWidget> window = std::make_unique<QWidget>();
    TOpenGLPanel* panel = new TOpenGLPanel(window.get());
    PanelSnapshot snapshot;
    std::function<void(PanelSurface&, PanelSnapshot&)> paint;

    explicit PaintedPanel(PanelKind kind) {
        const QSize size = kind == PanelKind::Chart         ? QSize(750, 115)
                           : kind == PanelKind::StatusStrip ? QSize(750, 49)
                                                            : QSize(193, 401);
        window->resize(size.width() + 20, size.height() + 20);
        panel->setGeometry(10, 10, size.width(), size.height());
        if (kind == PanelKind::Chart) {
            panel->Font3D_Enabled = true;
            panel->SetFont3DType({"Arial", -11, true, true, gl::RUSSIAN_CHARSET});
            panel->Font3D_FirstGylph = 0;
            panel->Font3D_NumGylph = 255;
        }
        panel->Font2D_Enabled = true;
        panel->SetFont({"Arial", kind == PanelKind::Passport ? -12 : -11, kind == PanelKind::StatusStrip, false,
                        gl::RUSSIAN_CHARSET});
        panel->Font2D_FirstGylph = 32;
        panel->Font2D_NumGylph = 255;
        panel->OnInit = [this](TOpenGLPanel* p) {
            OpenGLPanelSurface s(*p);
            initPanelView(s);
            snapshot.forget();
        };
        panel->OnPaint = [this](TOpenGLPanel* p) {
            OpenGLPanelSurface s(*p);
            if (paint) paint(s, snapshot);
        };
        setColour(record->gridColour, 0.0f);
        setColour(record->traceColour, 0.0f);
        setColour(record->nameTextColour, 0.0f);
        setColour(record->valueTextColour, 0.0f);
    }

    // White at the given brightness (alpha); 0 hides an item.
    static void setColour(float* c, float brightness) {
        c[0] = c[1] = c[2] = 1.0f;
        c[3] = brightness;
    }

    QImage capture() {
        window->show();
        if (!QTest::qWaitForWindowExposed(window.get())) return {};
        return panel->capture();
    }
};

inline bool lit(QRgb p) { return qRed(p) + qGreen(p) + qBlue(p) > 96; }

// Lit pixels inside rows [top, bottom] and columns [left, right].
inline int litIn(const QImage& image, int left, int top, int right, int bottom) {
    int n = 0;
    for (int y = top; y <= bottom; ++y)
        for (int x = left; x <= right; ++x) n += lit(image.pixel(x, y));
    return n;
}

inline int litPixels(const QImage& image) { return litIn(image, 0, 0, image.width() - 1, image.height() - 1); }

}  // namespace m797::testing
