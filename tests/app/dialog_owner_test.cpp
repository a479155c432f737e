// Every window opened over the main window belongs to it: transient for it
// (so the window manager keeps it above the main window) and centred on it.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QMessageBox>
#include <QTest>
#include <QWindow>
#include <functional>
#include <memory>

#include "app/main_window.h"
#include "app/screen_width.h"
#include "tests/settings/store/settings_test_support.h"
#include "tests/support/silent_line.h"

namespace {

using m797::testing::SilentLine;

QWidget* openedDialog(const TForm1& main) {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w != &main && w->isVisible() && w->windowType() == Qt::Dialog) return w;
    return nullptr;
}

void closeDialog(QWidget* w) {
    if (auto* d = qobject_cast<QDialog*>(w))
        d->done(QDialog::Rejected);
    else
        w->close();
}

TEST(DialogOwner, EveryDialogIsTransientForTheMainWindowAndCentredOnIt) {
    m797::testing::TemporaryConfig config;
    StartOptions options;
    options.ignoreScreenWidth = true;
    options.makeLine = [] { return std::make_unique<SilentLine>(100); };
    TForm1 main(std::move(options));
    main.FormCreate();
    main.show();
    main.move(180, 120);  // not where the screen's centre would put a dialog
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&main));
    ASSERT_NE(main.windowHandle(), nullptr);

    const std::pair<const char*, std::function<void()>> openers[] = {
        {"settings (Настройка)", [&] { main.SpeedButton3Click(); }},
        {"trouble codes (Ошибки)", [&] { main.SpeedButton17Click(); }},
        {"actuators (Управление)", [&] { main.SpeedButton16Click(); }},
        {"port failure message", [&] { main.showPortFailure(QStringLiteral("Порт /dev/ttyUSB0 не найден.")); }},
        {"a message box without a parent",
         [] {
             auto* box = new QMessageBox(QMessageBox::Warning, QStringLiteral("m797diag"), QStringLiteral("x"));
             box->setAttribute(Qt::WA_DeleteOnClose);
             box->show();
         }},
    };
    for (const auto& [what, open] : openers) {
        open();
        QWidget* dialog = openedDialog(main);
        ASSERT_NE(dialog, nullptr) << what;
        ASSERT_NE(dialog->windowHandle(), nullptr) << what;
        QApplication::processEvents();  // a message box settles its size after it is shown
        EXPECT_EQ(dialog->windowHandle()->transientParent(), main.windowHandle()) << what;
        const QPoint offset = dialog->frameGeometry().center() - main.frameGeometry().center();
        EXPECT_LE(offset.manhattanLength(), 40)
            << what << ": centred " << offset.x() << "," << offset.y() << " away from the main window's centre";
        closeDialog(dialog);
        QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
}

}  // namespace
