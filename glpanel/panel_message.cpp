#include "glpanel/panel_message.h"

#include <QMessageBox>

namespace m797::gl {

namespace {
std::function<void(const QString&)>& sink() {
    static std::function<void(const QString&)> s;
    return s;
}
}  // namespace

void showPanelMessage(const QString& text) {
    if (sink()) {
        sink()(text);
        return;
    }
    QMessageBox box(QMessageBox::NoIcon, QString(), text, QMessageBox::Ok);
    box.exec();
}

void showPanelError(const char* prefix, int errorNumber) {
    showPanelMessage(QString::fromLatin1(prefix) + QString::number(errorNumber));
}

void setPanelMessageSink(std::function<void(const QString&)> s) { sink() = std::move(s); }

}  // namespace m797::gl
