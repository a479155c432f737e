#pragma once
// TOpenGLPanel: a drawing panel on which a host window draws with legacy
// OpenGL. It presents from a native child window of its own (PanelWindow)
// with one context for the window's life, made current only around each of
// its events (OnPreInit, OnInit, OnResize, OnPaint); fonts turned into
// display lists for 2D and 3D text; capture, save, print and texture loading.

#include <QImage>
#include <QWidget>
#include <functional>
#include <memory>
#include <string_view>
#include <vector>

#include "glpanel/bmp_texture.h"
#include "glpanel/rules/opengl_font.h"
#include "glpanel/rules/palette.h"
#include "glpanel/rules/pixel_format.h"
#include "glpanel/rules/print_geometry.h"

class QOpenGLContext;
class QOpenGLFramebufferObject;
class QPrinter;
class PanelWindow;
class QWindow;
namespace m797::gl {
class OutlineGlyphLists;
struct BuiltFontLists;
}  // namespace m797::gl

class TOpenGLPanel : public QWidget {
    Q_OBJECT
public:
    // A tooltip that depends on where the pointer is over the panel (the
    // panel draws in a native window of its own, which has no tooltip).
    void setToolTipAt(std::function<QString(QPoint local)> toolTipAt);
    using TNotifyEvent = std::function<void(TOpenGLPanel* sender)>;
    using TPFDPixelTypes = m797::gl::TPFDPixelTypes;
    using TPFDFlags = m797::gl::TPFDFlags;
    using TOpenGLSwapBuffers = m797::gl::TOpenGLSwapBuffers;
    using TOpenGLPrintScale = m797::gl::TOpenGLPrintScale;
    using TFont3DFormat = m797::gl::TFont3DFormat;
    using TFontDescription = m797::gl::TFontDescription;
    using OpenGLFont2D = m797::gl::OpenGLFont2D;
    using OpenGLFont3D = m797::gl::OpenGLFont3D;

    explicit TOpenGLPanel(QWidget* parent = nullptr);
    ~TOpenGLPanel() override;

    // The compatibility-profile default format with shared contexts; call
    // before the QApplication exists.
    static void installDefaultSurfaceFormat();

    // The panel's own context; none before its window exists or when
    // creating it failed.
    QOpenGLContext* context() const { return context_; }
    // The native window the panel presents from.
    QWindow* panelWindow() const;
    // Asks for a repaint (OnPaint and the swap) of the panel's window. Hides
    // QWidget::update, which would repaint only the widget around it.
    void update();
    // Device pixels per panel unit (2 with a scale factor of 2).
    qreal pixelRatio() const;
    // The panel's size in device pixels: its frame buffer.
    QSize pixelSize() const;
    // Frames swapped onto the screen so far.
    long presentedFrames() const { return presentedFrames_; }
    // Inside OnPaint: what the screen shows is already this frame, so the
    // panel leaves it and does not swap. Ignored when the shown picture was
    // lost (an expose) or the frame is captured.
    bool FrameOnScreen() const;
    void KeepFrameOnScreen() { keepFrame_ = true; }

    // Pixel-format and printing properties (take effect at the next context creation).
    TPFDPixelTypes PixelType() const { return pixelType_; }
    void SetPFDPixelType(TPFDPixelTypes type);
    TPFDFlags PFDFlags() const { return pfdFlags_; }
    void SetPFDFlags(TPFDFlags flags);
    std::uint8_t cColorBits() const { return colorBits_; }
    void SetPFDNumColorBits(std::uint8_t bits) { colorBits_ = bits; }
    std::uint8_t cDepthBits() const { return depthBits_; }
    void SetPFDNumDepthBits(std::uint8_t bits) { depthBits_ = bits; }
    TOpenGLPrintScale PrintScale() const { return printScale_; }
    void SetOpenGLPrintScale(TOpenGLPrintScale scale) { printScale_ = scale; }
    std::int32_t PixelsPerInch() const { return pixelsPerInch_; }
    void SetOpenGLPixelsPerInch(std::int32_t ppi) { pixelsPerInch_ = ppi; }
    const TFontDescription& Font3D_Type() const { return font3DType_; }
    void SetFont3DType(const TFontDescription& font) { font3DType_ = font; }
    const TFontDescription& Font2D_Type() const { return font2DType_; }
    void SetFont(const TFontDescription& font) { font2DType_ = font; }
    TFont3DFormat Font3D_Format() const { return font3DFormat_; }
    void SetFont3DFormat(TFont3DFormat format);

    TOpenGLSwapBuffers GLSwapBuffers = TOpenGLSwapBuffers::Auto;
    bool Font3D_Enabled = false;
    std::int32_t Font3D_FirstGylph = 32;
    std::int32_t Font3D_NumGylph = 96;
    float Font3D_MaxDeviation = 0.0f;
    float Font3D_Extrustion = 0.1f;
    bool Font2D_Enabled = false;
    std::int32_t Font2D_FirstGylph = 32;
    std::int32_t Font2D_NumGylph = 96;
    TNotifyEvent OnPreInit, OnInit, OnResize, OnPaint;

    // The descriptor the current properties ask for.
    m797::gl::PixelFormatDescriptor requestedDescriptor() const;
    bool IsDoubleBuffered() const { return isDoubleBuffered_; }
    bool hasRenderingContext() const { return context_ != nullptr; }
    const std::vector<m797::gl::PaletteEntry>& Palette() const { return palette_; }
    // Builds Palette for a palette-based described format; false (and a
    // message) when the format gives no entries.
    bool ConstructPalette(const m797::gl::PixelFormatDescriptor& described);
    const OpenGLFont2D* Font2D() const { return font2D_.get(); }
    const OpenGLFont3D* Font3D() const { return font3D_.get(); }
    // What of the panel's outline font is compiled so far (null without one).
    const m797::gl::OutlineGlyphLists* Font3DGlyphs() const { return font3DGlyphs_.get(); }

    void MakeOpenGLPanelCurrent();
    void MakeOpenGLPanelNotCurrent();
    // Presents the frame drawn so far when the panel is double-buffered.
    void SwapBuffers();
    // True when the other panel's context sees this panel's display lists.
    bool PanelShareLists(TOpenGLPanel* other);

    // Fonts; they need the context current (OnInit, OnPaint).
    std::unique_ptr<OpenGLFont2D> Create2DFont(const TFontDescription* font, std::int32_t first,
                                               std::int32_t count);
    std::unique_ptr<OpenGLFont3D> Create3DFont(const TFontDescription* font, std::int32_t first,
                                               std::int32_t count, float maxDeviation, float extrusion,
                                               std::int32_t outlineFormat);
    void Create2DFont();  // rebuilds the panel's own Font2D from its properties
    void Create3DFont();  // rebuilds the panel's own Font3D from its properties
    // Releases the display lists of a record built by the caller.
    void DeleteFont(const OpenGLFont2D& font);
    void DeleteFont(const OpenGLFont3D& font);
    void Draw2DText(std::string_view text);
    void Draw2DText(const OpenGLFont2D* font, std::string_view text);
    void Draw3DText(std::string_view text);
    void Draw3DText(const OpenGLFont3D* font, std::string_view text);
    void Get3DTextSize(std::string_view text, double& x, double& y, double& z);
    void Get3DTextSize(const OpenGLFont3D* font, std::string_view text, double& x, double& y, double& z);

    // Image services.
    bool QueryOpenGLExtention(std::string_view name) const;
    int GetDisplayBPP() const;
    bool SetDisplayBPP(int bitsPerPixel);
    // Paints the panel now (OnPaint and the swap) and returns its image as
    // it goes to the screen, read back from the panel's own buffer.
    QImage capture();
    // A Windows bitmap at the display's colour depth; false when it cannot be written.
    bool SaveOpenGLPanelToFile(const QString& fileName);
    // PNG when the name ends in ".png", a Windows bitmap otherwise.
    bool saveImageAs(const QString& fileName);
    void PrintOpenGLPanel();
    void printTo(QPrinter& printer);

protected:
    bool event(QEvent* e) override;
    // A repaint asked through QWidget::update reaches the panel's window too.
    void paintEvent(QPaintEvent* e) override;

private:
    void preInit();
    // The native window exists: context, fonts, OnInit (WMCreate).
    void windowCreated();
    bool CreateGLContext();
    static std::vector<QOpenGLContext*>& livePanelContexts();
    void DestroyGLContext();
    void releaseFonts();
    m797::gl::BuiltFontLists makeLazy3DFont();
    template <typename Font>
    void releaseFont(std::unique_ptr<Font>& font);
    void describeFormat();
    void paintPanel(bool forced);
    void resizePanel();
    void bindDrawBuffer();
    void present(bool front);
    // The image in `framebuffer` (0: the window, its back or front buffer).
    QImage readBuffer(unsigned framebuffer, bool back);
    bool isCurrent() const;
    bool makeCurrent();
    void showContextMenu(QPoint global);
    void savePicture();
    void printPicture();

    TPFDPixelTypes pixelType_ = TPFDPixelTypes::f_PFD_TYPE_RGBA;
    std::uint8_t pfdPixelType_ = 0;
    TPFDFlags pfdFlags_ = m797::gl::kDefaultPFDFlags;
    std::uint8_t colorBits_ = 32;
    std::uint8_t depthBits_ = 32;
    TOpenGLPrintScale printScale_ = TOpenGLPrintScale::pglProportional;
    std::int32_t pixelsPerInch_ = 96;
    TFontDescription font3DType_;
    TFontDescription font2DType_;
    TFont3DFormat font3DFormat_ = TFont3DFormat::f_WGL_FONT_POLYGONS;
    std::int32_t outlineFormat_ = 1;

    PanelWindow* window_ = nullptr;      // owned by container_
    QWidget* container_ = nullptr;       // owned by the panel
    QOpenGLContext* context_ = nullptr;  // owned by the panel
    bool preInitDone_ = false;
    bool isDoubleBuffered_ = false;
    bool inPaint_ = false;
    bool forcedPaint_ = false;
    bool keepFrame_ = false;
    bool capturing_ = false;
    QImage captured_;
    std::unique_ptr<QOpenGLFramebufferObject> drawBuffer_;
    long presentedFrames_ = 0;
    std::vector<m797::gl::PaletteEntry> palette_;
    std::unique_ptr<OpenGLFont3D> font3D_;
    std::shared_ptr<m797::gl::OutlineGlyphLists> font3DGlyphs_;  // compiles font3D_'s glyphs as texts need them
    std::unique_ptr<OpenGLFont2D> font2D_;
};
