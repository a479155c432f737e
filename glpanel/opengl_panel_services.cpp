// TOpenGLPanel: extension query, display depth, capture, saving, printing and
// the panel's context menu.
#include <GL/gl.h>

#include <QFileDialog>
#include <QGuiApplication>
#include <QMenu>
#include <QMessageBox>
#include <QOpenGLContext>
#include <QOpenGLExtraFunctions>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QScreen>
#include <utility>

#include "glpanel/opengl_panel.h"
#include "glpanel/panel_message.h"
#include "glpanel/rules/extension_tokens.h"

using namespace m797::gl;

bool TOpenGLPanel::QueryOpenGLExtention(std::string_view name) const {
    if (!QOpenGLContext::currentContext()) return false;
    return hasExtensionToken(reinterpret_cast<const char*>(glGetString(GL_EXTENSIONS)), name);
}

int TOpenGLPanel::GetDisplayBPP() const {
    const QScreen* s = screen() ? screen() : QGuiApplication::primaryScreen();
    return s ? s->depth() : 0;
}

// The X11 and Wayland displays offer no change of colour depth to a client:
// only a request for the depth already in force succeeds.
bool TOpenGLPanel::SetDisplayBPP(int bitsPerPixel) { return bitsPerPixel == GetDisplayBPP(); }

// The paint runs as for the screen; the swap reads the back buffer just
// before it presents it. Without a swap (a single-buffered panel, or Manual
// swapping with no swap in OnPaint) the image is what the screen shows.
QImage TOpenGLPanel::capture() {
    if (!preInitDone_) preInit();
    raise();
    if (!context_) return {};
    const bool wasCurrent = isCurrent();
    capturing_ = true;
    captured_ = QImage();
    paintPanel(true);
    capturing_ = false;
    if (captured_.isNull() && makeCurrent()) captured_ = readBuffer(0, false);
    if (wasCurrent)
        makeCurrent();
    else if (isCurrent())
        context_->doneCurrent();
    return std::exchange(captured_, QImage());
}

QImage TOpenGLPanel::readBuffer(unsigned framebuffer, bool back) {
    const QSize px = pixelSize();
    QImage image(px, QImage::Format_RGB32);
    if (image.isNull()) return image;
    QOpenGLExtraFunctions* f = context_->extraFunctions();
    GLint bound = 0, buffer = GL_BACK;
    glGetIntegerv(GL_READ_FRAMEBUFFER_BINDING, &bound);
    f->glBindFramebuffer(GL_READ_FRAMEBUFFER, framebuffer);
    glGetIntegerv(GL_READ_BUFFER, &buffer);
    if (framebuffer == 0) glReadBuffer(back ? GL_BACK : GL_FRONT);
    glPushClientAttrib(GL_CLIENT_PIXEL_STORE_BIT);
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    glPixelStorei(GL_PACK_ROW_LENGTH, 0);
    glPixelStorei(GL_PACK_SKIP_ROWS, 0);
    glPixelStorei(GL_PACK_SKIP_PIXELS, 0);
    // BGRA bytes are the little-endian 0xAARRGGBB words of Format_RGB32.
    glReadPixels(0, 0, px.width(), px.height(), GL_BGRA, GL_UNSIGNED_BYTE, image.bits());
    glPopClientAttrib();
    if (framebuffer == 0) glReadBuffer(static_cast<GLenum>(buffer));
    f->glBindFramebuffer(GL_READ_FRAMEBUFFER, static_cast<GLuint>(bound));
    image = std::move(image).mirrored();  // GL rows run bottom-up
    image.setDevicePixelRatio(pixelRatio());
    return image;
}

bool TOpenGLPanel::SaveOpenGLPanelToFile(const QString& fileName) {
    QImage image = capture();
    if (image.isNull()) return false;
    const int depth = GetDisplayBPP();
    const QImage::Format format = depth <= 8    ? QImage::Format_Indexed8
                                  : depth <= 16 ? QImage::Format_RGB16
                                                : QImage::Format_RGB32;
    return image.convertToFormat(format).save(fileName, "BMP");
}

bool TOpenGLPanel::saveImageAs(const QString& fileName) {
    if (fileName.endsWith(QLatin1String(".png"), Qt::CaseInsensitive)) {
        const QImage image = capture();
        return !image.isNull() && image.save(fileName, "PNG");
    }
    return SaveOpenGLPanelToFile(fileName);
}

void TOpenGLPanel::printTo(QPrinter& printer) {
    const QImage image = capture().convertToFormat(QImage::Format_RGB32);
    if (image.isNull()) {
        showPanelMessage(QStringLiteral("Print: Malloc Error"));
        return;
    }
    const PrinterMetrics metrics{printer.logicalDpiX(), printer.logicalDpiY(), printer.width(), printer.height()};
    const PrintPlacement place = printPlacement(printScale_, image.width(), image.height(), metrics,
                                                pixelsPerInch_);
    if (!place.printable) return;
    QPainter painter(&printer);
    if (!painter.isActive()) return;  // the printing layer has said why
    painter.drawImage(QRect(place.left, place.top, place.width(), place.height()), image);
    painter.end();
}

void TOpenGLPanel::PrintOpenGLPanel() {
    QPrinter printer(QPrinter::HighResolution);
    if (!printer.isValid()) return;
    printTo(printer);
}

void TOpenGLPanel::showContextMenu(QPoint global) {
    QMenu menu(this);
    menu.addAction(QStringLiteral("Сохранить изображение..."), this, &TOpenGLPanel::savePicture);
    menu.addAction(QStringLiteral("Печать..."), this, &TOpenGLPanel::printPicture);
    menu.exec(global);
}

void TOpenGLPanel::savePicture() {
    const QString name = QFileDialog::getSaveFileName(
        this, QStringLiteral("Сохранить изображение"), QString(),
        QStringLiteral("Изображение BMP (*.bmp);;Изображение PNG (*.png)"));
    if (name.isEmpty()) return;
    if (!saveImageAs(name))
        QMessageBox::warning(this, QString(),
                             QStringLiteral("Не удалось сохранить изображение в файл %1").arg(name));
}

void TOpenGLPanel::printPicture() {
    QPrinter printer(QPrinter::HighResolution);
    QPrintDialog dialog(&printer, this);
    if (dialog.exec() == QDialog::Accepted) printTo(printer);
}
