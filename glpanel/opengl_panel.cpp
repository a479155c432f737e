#include "glpanel/opengl_panel.h"

#include <QCoreApplication>
#include <QEvent>
#include <QOpenGLContext>
#include <QOpenGLExtraFunctions>
#include <QOpenGLFramebufferObject>
#include <cerrno>

#include "glpanel/fp_exceptions.h"
#include "glpanel/panel_message.h"
#include "glpanel/surface_format.h"

using namespace m797::gl;

TOpenGLPanel::TOpenGLPanel(QWidget* parent) : QOpenGLWidget(parent) {
    maskFloatingPointExceptions();
    // The front image stays as presented until the next swap (Manual swapping
    // may leave a frame on screen over several paints).
    setUpdateBehavior(QOpenGLWidget::PartialUpdate);
    setContextMenuPolicy(Qt::DefaultContextMenu);
}

TOpenGLPanel::~TOpenGLPanel() {
    // The base class destroys the context after this object is gone; release
    // what belongs to it while the panel still exists.
    DestroyGLContext();
}

void TOpenGLPanel::installDefaultSurfaceFormat() {
    // One share group for all panels: a panel's context then survives a move
    // to another top-level window, and panels see each other's display lists.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
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

bool TOpenGLPanel::isCurrent() const {
    return context() != nullptr && QOpenGLContext::currentContext() == context();
}

void TOpenGLPanel::releaseIfCurrent() {
    if (isCurrent()) doneCurrent();
}

// Runs once, before the context is created: the host may still set the
// pixel-format properties in OnPreInit.
void TOpenGLPanel::preInit() {
    preInitDone_ = true;
    if (OnPreInit) OnPreInit(this);
    setFormat(surfaceFormatFor(requestedDescriptor()));
}

bool TOpenGLPanel::event(QEvent* e) {
    const QEvent::Type type = e->type();
    const bool creates = type == QEvent::Show || type == QEvent::Resize;
    if (creates && !preInitDone_) preInit();
    const bool wasCurrent = isCurrent();
    const bool handled = QOpenGLWidget::event(e);
    if (!wasCurrent) releaseIfCurrent();
    if (creates) checkContextCreation();
    return handled;
}

// Qt creates the context when the widget is first shown or sized; a failure
// there only leaves the widget without a context.
void TOpenGLPanel::checkContextCreation() {
    if (contextCreated_ || creationFailureShown_ || !isVisible() || size().isEmpty() || !window()->windowHandle())
        return;
    if (isValid()) return;
    creationFailureShown_ = true;
    showPanelError("wglRenderingContext:", errno);
    showPanelMessage(QStringLiteral("Open GL Context Create Failed"));
}

void TOpenGLPanel::initializeGL() {
    contextCreated_ = true;
    isDoubleBuffered_ = (requestedDescriptor().dwFlags & PFD_DOUBLEBUFFER) != 0;
    describeFormat();
    connect(context(), &QOpenGLContext::aboutToBeDestroyed, this, &TOpenGLPanel::DestroyGLContext,
            Qt::DirectConnection);
    if (OnInit) {
        if (!isCurrent()) showPanelError("wglMakeCurrent:", errno);
        if (Font3D_Enabled) Create3DFont();
        if (Font2D_Enabled) Create2DFont();
        OnInit(this);
    }
    releaseIfCurrent();
}

// The format obtained, described like the platform's descriptor: a display of
// eight or fewer colour bits needs a palette (3-3-2), any other none.
void TOpenGLPanel::describeFormat() {
    const QSurfaceFormat f = context()->format();
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
    if (!contextCreated_) return;
    makeCurrent();
    if (font3D_) glDeleteLists(font3D_->listBase, font3D_->glyphCount);
    if (font2D_) glDeleteLists(font2D_->listBase, font2D_->glyphCount);
    font3D_.reset();
    font2D_.reset();
    backBuffer_.reset();
    doneCurrent();
    palette_.clear();
    contextCreated_ = false;
    if (context()) disconnect(context(), &QOpenGLContext::aboutToBeDestroyed, this, &TOpenGLPanel::DestroyGLContext);
}

void TOpenGLPanel::resizeGL(int, int) {
    if (OnResize) {
        if (isCurrent())
            OnResize(this);
        else
            showPanelError("wglMakeCurrent:", errno);
    }
    releaseIfCurrent();
}

void TOpenGLPanel::paintGL() {
    if (!OnPaint) {
        releaseIfCurrent();
        return;
    }
    if (!isCurrent()) {
        showPanelError("wglMakeCurrent:", errno);
        return;
    }
    inPaint_ = true;
    bindDrawBuffer();
    OnPaint(this);
    if (GLSwapBuffers == TOpenGLSwapBuffers::Auto && isDoubleBuffered_) SwapBuffers();
    context()->functions()->glBindFramebuffer(GL_FRAMEBUFFER, defaultFramebufferObject());
    inPaint_ = false;
    releaseIfCurrent();
}

// A double-buffered panel draws into its own back buffer; the widget's
// framebuffer is the front image that the window shows.
void TOpenGLPanel::bindDrawBuffer() {
    if (!isDoubleBuffered_) {
        context()->functions()->glBindFramebuffer(GL_FRAMEBUFFER, defaultFramebufferObject());
        return;
    }
    const QSize pixels = size() * devicePixelRatioF();
    if (!backBuffer_ || backBuffer_->size() != pixels)
        backBuffer_ = std::make_unique<QOpenGLFramebufferObject>(pixels, QOpenGLFramebufferObject::CombinedDepthStencil);
    if (!backBuffer_->isValid()) {
        // Without a back buffer the panel draws straight into the shown image
        // rather than into nothing.
        qWarning("TOpenGLPanel %s: no back buffer, drawing single-buffered", qPrintable(objectName()));
        backBuffer_.reset();
        isDoubleBuffered_ = false;
        context()->functions()->glBindFramebuffer(GL_FRAMEBUFFER, defaultFramebufferObject());
        return;
    }
    backBuffer_->bind();
}

void TOpenGLPanel::SwapBuffers() {
    if (!isDoubleBuffered_ || !backBuffer_ || !contextCreated_) return;
    const bool wasCurrent = isCurrent();
    if (!wasCurrent) makeCurrent();
    QOpenGLExtraFunctions* f = context()->extraFunctions();
    const QSize s = backBuffer_->size();
    f->glBindFramebuffer(GL_READ_FRAMEBUFFER, backBuffer_->handle());
    f->glBindFramebuffer(GL_DRAW_FRAMEBUFFER, defaultFramebufferObject());
    f->glBlitFramebuffer(0, 0, s.width(), s.height(), 0, 0, s.width(), s.height(), GL_COLOR_BUFFER_BIT, GL_NEAREST);
    backBuffer_->bind();
    if (!wasCurrent) doneCurrent();
    if (!inPaint_) update();
}

void TOpenGLPanel::MakeOpenGLPanelCurrent() {
    if (!contextCreated_) {
        // No context of its own: only release whatever is current.
        if (QOpenGLContext* c = QOpenGLContext::currentContext()) c->doneCurrent();
        return;
    }
    makeCurrent();
    if (!isCurrent()) {
        showPanelError("wglMakeCurrent:", errno);
        return;
    }
    bindDrawBuffer();
}

void TOpenGLPanel::MakeOpenGLPanelNotCurrent() {
    if (QOpenGLContext* c = QOpenGLContext::currentContext()) c->doneCurrent();
}

bool TOpenGLPanel::PanelShareLists(TOpenGLPanel* other) {
    if (!other || other == this || !contextCreated_ || !other->contextCreated_) return false;
    return QOpenGLContext::areSharing(context(), other->context());
}
