#include "glpanel/opengl_panel.h"

#include <GL/gl.h>

#include <QCoreApplication>
#include <QEvent>
#include <QOpenGLContext>
#include <QOpenGLExtraFunctions>
#include <QOpenGLFramebufferObject>
#include <cerrno>

#include "glpanel/panel_message.h"
#include "glpanel/panel_window.h"
#include "glpanel/rules/fp_exceptions.h"
#include "glpanel/saved_gl_state.h"
#include "glpanel/surface_format.h"

using namespace m797::gl;

TOpenGLPanel::TOpenGLPanel(QWidget* parent) : QWidget(parent) {
    maskFloatingPointExceptions();
    setContextMenuPolicy(Qt::DefaultContextMenu);
    // The native window covers the panel: nothing of the widget shows.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
    window_ = new PanelWindow();
    window_->surfaceCreated = [this] { windowCreated(); };
    window_->surfaceGoing = [this] { DestroyGLContext(); };
    window_->resized = [this] { resizePanel(); };
    window_->paint = [this](bool forced) { paintPanel(forced); };
    window_->contextMenu = [this](QPoint global) { showContextMenu(global); };
    container_ = QWidget::createWindowContainer(window_, this);
    container_->setGeometry(rect());
}

TOpenGLPanel::~TOpenGLPanel() {
    // Release what belongs to the context while the panel still exists,
    // then let the window go before the panel does.
    DestroyGLContext();
    window_->surfaceCreated = {};
    window_->surfaceGoing = {};
    window_->resized = {};
    window_->paint = {};
    window_->contextMenu = {};
    delete container_;
}

void TOpenGLPanel::installDefaultSurfaceFormat() {
    QSurfaceFormat f;
    f.setRenderableType(QSurfaceFormat::OpenGL);
    f.setProfile(QSurfaceFormat::CompatibilityProfile);
    f.setVersion(2, 1);
    f.setDepthBufferSize(24);
    QSurfaceFormat::setDefaultFormat(f);
}

void TOpenGLPanel::SetPFDPixelType(TPFDPixelTypes type) {
    pixelType_ = type;
    pfdPixelType_ = pfdPixelType(type);
}

void TOpenGLPanel::SetPFDFlags(TPFDFlags flags) { pfdFlags_ = applyPFDFlags(pfdFlags_, flags); }

void TOpenGLPanel::SetFont3DFormat(TFont3DFormat format) {
    font3DFormat_ = format;
    outlineFormat_ = format == TFont3DFormat::f_WGL_FONT_POLYGONS ? 1 : 0;
}

PixelFormatDescriptor TOpenGLPanel::requestedDescriptor() const {
    return m797::gl::requestedDescriptor(pfdPixelType_, pfdFlags_, colorBits_, depthBits_);
}

QWindow* TOpenGLPanel::panelWindow() const { return window_; }

qreal TOpenGLPanel::pixelRatio() const { return window_->devicePixelRatio(); }

QSize TOpenGLPanel::pixelSize() const {
    const qreal r = pixelRatio();
    return {qRound(width() * r), qRound(height() * r)};
}

bool TOpenGLPanel::isCurrent() const {
    return context_ != nullptr && QOpenGLContext::currentContext() == context_;
}

bool TOpenGLPanel::makeCurrent() { return context_ != nullptr && context_->makeCurrent(window_); }

// Runs once, before the native window exists: the host may still set the
// pixel-format properties in OnPreInit (CreateParams).
void TOpenGLPanel::preInit() {
    preInitDone_ = true;
    if (OnPreInit) OnPreInit(this);
    window_->setFormat(surfaceFormatFor(requestedDescriptor()));
}

bool TOpenGLPanel::event(QEvent* e) {
    const QEvent::Type type = e->type();
    // A widget gets its pending resize before its children are shown, so
    // the format is set before the container creates the native window.
    if ((type == QEvent::Show || type == QEvent::Resize) && !preInitDone_) preInit();
    if (type == QEvent::Resize) container_->setGeometry(rect());
    return QWidget::event(e);
}

void TOpenGLPanel::paintEvent(QPaintEvent*) { update(); }

void TOpenGLPanel::update() {
    if (window_->handle()) window_->requestUpdate();
}

// WMCreate: the context, then (only with an OnInit handler) the fonts and
// OnInit with the context current.
void TOpenGLPanel::windowCreated() {
    if (!preInitDone_) preInit();
    if (!CreateGLContext()) {
        showPanelMessage(QStringLiteral("Open GL Context Create Failed"));
        return;
    }
    if (!OnInit) return;
    if (!makeCurrent())
        showPanelError("wglMakeCurrent:", errno);
    else
        bindDrawBuffer();
    if (Font3D_Enabled) Create3DFont();
    if (Font2D_Enabled) Create2DFont();
    OnInit(this);
    if (isCurrent()) context_->doneCurrent();
}

// One share group for all panels, one namespace of display lists, so that
// panels asking for the same font share one set of lists: a new context
// shares with any panel context alive. (Qt's global share context would do
// the same at the cost of an eighth software context, about 3 MB resident.)
// The group ends with its last context; the panels made after that start
// a new one.
std::vector<QOpenGLContext*>& TOpenGLPanel::livePanelContexts() {
    static std::vector<QOpenGLContext*> contexts;
    return contexts;
}

bool TOpenGLPanel::CreateGLContext() {
    auto context = std::make_unique<QOpenGLContext>();
    context->setFormat(window_->requestedFormat());
    if (!livePanelContexts().empty()) context->setShareContext(livePanelContexts().front());
    if (!context->create()) {
        showPanelError("wglRenderingContext:", errno);
        return false;
    }
    context_ = context.release();
    livePanelContexts().push_back(context_);
    isDoubleBuffered_ = (requestedDescriptor().dwFlags & PFD_DOUBLEBUFFER) != 0;
    describeFormat();
    return true;
}

// The format obtained, described like the platform's descriptor: a display of
// eight or fewer colour bits needs a palette (3-3-2), any other none.
void TOpenGLPanel::describeFormat() {
    const QSurfaceFormat f = context_->format();
    const int colour = f.redBufferSize() + f.greenBufferSize() + f.blueBufferSize();
    palette_.clear();
    if (colour <= 0 || colour > 8) return;
    PixelFormatDescriptor d = requestedDescriptor();
    d.dwFlags |= PFD_NEED_PALETTE;
    d.cColorBits = static_cast<std::uint8_t>(colour);
    d.cRedBits = 3, d.cRedShift = 0, d.cGreenBits = 3, d.cGreenShift = 3, d.cBlueBits = 2, d.cBlueShift = 6;
    ConstructPalette(d);
}

bool TOpenGLPanel::ConstructPalette(const PixelFormatDescriptor& described) {
    palette_ = constructPaletteEntries(described);
    if (palette_.empty()) {
        showPanelError("CreatePalette:", errno);
        return false;
    }
    return true;
}

void TOpenGLPanel::DestroyGLContext() {
    if (!context_) return;
    makeCurrent();
    releaseFonts();  // deletes shared lists only with the context current
    drawBuffer_.reset();
    context_->doneCurrent();
    std::erase(livePanelContexts(), context_);
    delete context_;
    context_ = nullptr;
    palette_.clear();
}

void TOpenGLPanel::resizePanel() {
    if (!OnResize || !context_) return;
    if (!makeCurrent()) {
        showPanelError("wglMakeCurrent:", errno);
        return;
    }
    bindDrawBuffer();
    OnResize(this);
    context_->doneCurrent();
}

// Every event draws into the panel's own back buffer, an RGBA frame buffer
// object over the whole panel in device pixels; presenting copies it into
// the window. Drawing straight into the window's buffer would blend the
// smoothed lines a shade differently (another pixel format), so the copy
// keeps every pixel as it always was.
void TOpenGLPanel::bindDrawBuffer() {
    const QSize px = pixelSize();
    glViewport(0, 0, px.width(), px.height());
    if (!drawBuffer_ || drawBuffer_->size() != px) {
        drawBuffer_.reset();
        if (!px.isEmpty())
            drawBuffer_ = std::make_unique<QOpenGLFramebufferObject>(
                px, QOpenGLFramebufferObject::CombinedDepthStencil);
    }
    if (drawBuffer_ && drawBuffer_->isValid()) {
        drawBuffer_->bind();
        return;
    }
    // Without one the panel draws where the window shows.
    drawBuffer_.reset();
    context_->extraFunctions()->glBindFramebuffer(GL_FRAMEBUFFER, 0);
    if (!isDoubleBuffered_) glDrawBuffer(GL_FRONT);
}

// Copies the back buffer into the window's buffer (`front` for
// single-buffered panels); a capture in progress takes its image here.
void TOpenGLPanel::present(bool front) {
    QOpenGLExtraFunctions* f = context_->extraFunctions();
    if (capturing_) captured_ = readBuffer(drawBuffer_ ? drawBuffer_->handle() : 0, !front);
    if (!drawBuffer_) return;
    const QSize s = drawBuffer_->size();
    {
        const m797::gl::ScissorOff wholeBuffer;
        f->glBindFramebuffer(GL_READ_FRAMEBUFFER, drawBuffer_->handle());
        f->glBindFramebuffer(GL_DRAW_FRAMEBUFFER, 0);
        glDrawBuffer(front ? GL_FRONT : GL_BACK);  // the window's own setting
        f->glBlitFramebuffer(0, 0, s.width(), s.height(), 0, 0, s.width(), s.height(), GL_COLOR_BUFFER_BIT,
                             GL_NEAREST);
    }
    drawBuffer_->bind();
}

bool TOpenGLPanel::FrameOnScreen() const {
    return inPaint_ && !forcedPaint_ && !capturing_ && window_->frameOnScreen();
}

// Paint: OnPaint with the context current, then the swap (Auto).
void TOpenGLPanel::paintPanel(bool forced) {
    if (!OnPaint || !context_) return;
    // Nothing shows before the first expose, which paints anyway.
    if (!window_->isExposed() && !capturing_) return;
    if (!makeCurrent()) {
        showPanelError("wglMakeCurrent:", errno);
        return;
    }
    bindDrawBuffer();
    inPaint_ = true;
    forcedPaint_ = forced;
    keepFrame_ = false;
    OnPaint(this);
    const bool kept = keepFrame_ && FrameOnScreen();
    if (!kept && GLSwapBuffers == TOpenGLSwapBuffers::Auto && isDoubleBuffered_) SwapBuffers();
    if (!isDoubleBuffered_) {
        present(true);
        glFlush();
        window_->framePresented();
    }
    inPaint_ = false;
    context_->doneCurrent();
}

void TOpenGLPanel::SwapBuffers() {
    if (!isDoubleBuffered_ || !context_) return;
    const bool wasCurrent = isCurrent();
    if (!wasCurrent && !makeCurrent()) return;
    present(false);
    if (window_->isExposed()) {
        context_->swapBuffers(window_);
        window_->framePresented();
        ++presentedFrames_;
    }
    if (!wasCurrent) context_->doneCurrent();
}

void TOpenGLPanel::MakeOpenGLPanelCurrent() {
    if (!context_) {
        // No context of its own: only release whatever is current.
        MakeOpenGLPanelNotCurrent();
        return;
    }
    if (!makeCurrent()) {
        showPanelError("wglMakeCurrent:", errno);
        return;
    }
    bindDrawBuffer();
}

void TOpenGLPanel::MakeOpenGLPanelNotCurrent() {
    if (QOpenGLContext* c = QOpenGLContext::currentContext()) c->doneCurrent();
}

bool TOpenGLPanel::PanelShareLists(TOpenGLPanel* other) {
    if (!other || other == this || !context_ || !other->context_) return false;
    return QOpenGLContext::areSharing(context_, other->context_);
}

void TOpenGLPanel::setToolTipAt(std::function<QString(QPoint local)> toolTipAt) {
    window_->toolTipAt = std::move(toolTipAt);
}
