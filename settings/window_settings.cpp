#include "settings/window_settings.h"

#include <QApplication>
#include <QMessageBox>

m797::SettingsFile& WindowSettings::file() {
    if (!file_)
        file_ = std::make_unique<m797::SettingsFile>(path_.empty() ? m797::SettingsFile::defaultPath() : path_,
                                                     *this);
    return *file_;
}

void WindowSettings::showMessage(const std::string& utf8) {
    if (reporter_) {
        reporter_->showMessage(utf8);
        return;
    }
    QMessageBox::critical(QApplication::activeWindow(), QStringLiteral("m797diag"), QString::fromStdString(utf8),
                          QMessageBox::Ok);
}
