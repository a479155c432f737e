// The settings dialog over a real main window: colours through the track
// bars, parameter sets through the lists, the fixed pages, and the main
// window's set buttons and exit save.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <memory>

#include "app/main_window.h"
#include "app/record/cp1251.h"
#include "dialogs/input_block.h"
#include "display/catalogue/catalogue.h"
#include "settings/settings_dialog.h"
#include "settings/store/colour_scheme.h"
#include "settings/store/port_choice.h"
#include "settings/store/settings_operations.h"
#include "settings/store/settings_store.h"
#include "tests/settings/store/settings_test_support.h"
#include "tests/support/fake_device_tree.h"

namespace {

using m797::testing::RecordingReporter;
using m797::testing::section;
using m797::testing::TemporaryConfig;
using m797::testing::writeBytes;

class SettingsDialogTest : public ::testing::Test {
protected:
    TemporaryConfig config;
    RecordingReporter reporter;
    std::unique_ptr<TForm1> window;

    void SetUp() override { start(); }
    void TearDown() override {
        // Pick the dialogs out first: deleting one deletes its lists' popups,
        // which are top-level widgets of the same list.
        QList<TForm3*> dialogs;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* d = qobject_cast<TForm3*>(w)) dialogs << d;
        qDeleteAll(dialogs);
        window.reset();
    }

    void start() {
        StartOptions options;
        options.ignoreScreenWidth = true;
        window = std::make_unique<TForm1>(std::move(options));
        window->settings().useReporter(&reporter);
        window->FormCreate();
    }

    TForm3* openDialog() {
        window->SpeedButton3Click();
        for (QWidget* w : QApplication::topLevelWidgets()) {
            auto* d = qobject_cast<TForm3*>(w);
            if (d && d->isVisible()) return d;
        }
        return nullptr;
    }

    m797::SettingsFile& file() { return window->settings().file(); }

    std::vector<int> storedColours() {
        m797::SettingsStore store(file());
        std::vector<int> out;
        if (!store.OpenStoreKey(m797::kColourSchemeKey, false)) return out;
        for (const char* n : m797::kColourValueNames) out.push_back(store.ReadStoreInteger(n));
        return out;
    }
    int storedRow(int set, int list) {
        m797::SettingsStore store(file());
        if (!store.OpenStoreKey(m797::parameterSetKey(set), false)) return -100;
        return store.ReadStoreInteger(m797::parameterSetValueName(list));
    }
    std::vector<int> selected() {
        const auto& s = window->record().selectedParameters;
        return std::vector<int>(s, s + 5);
    }
};

// Opening sets every bar from its component (x 100 truncated) and the bar's
// handler replaces the component by position x colourScale, just below the
// hundredth except for 50.
TEST_F(SettingsDialogTest, OpeningOverStartupColoursThenExitStoresTheBarValues) {
    TForm3* dialog = openDialog();
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(m797::dialogs::inputBlocked(window.get()))
        << "the main window takes no input while the dialog is open";
    EXPECT_FLOAT_EQ(dialog->colourScale(), 0.01f);
    EXPECT_EQ(dialog->trackBar(3)->value(), 69);  // name-text blue, 0.7
    EXPECT_EQ(window->record().nameTextColour[2], static_cast<float>(69.0L * 0.01f));
    window->SpeedButton18Click();
    EXPECT_EQ(storedColours(), (std::vector<int>{50, 39, 9, 39, 9, 98, 68, 68, 9, 39, 79, 50, 43, 98, 9, 98}));
}

TEST_F(SettingsDialogTest, ResetMovesOnlyTheGridBrightnessBar) {
    TForm3* dialog = openDialog();
    ASSERT_NE(dialog, nullptr);
    QTest::mouseClick(dialog->resetButton(), Qt::LeftButton);
    EXPECT_EQ(dialog->trackBar(16)->value(), 30);
    window->SpeedButton18Click();
    EXPECT_EQ(storedColours(), (std::vector<int>{50, 40, 10, 29, 10, 99, 69, 69, 10, 40, 80, 50, 44, 99, 10, 99}));
}

TEST_F(SettingsDialogTest, ComponentsOutsideTheBarRange) {
    m797::LiveRecord& r = window->record();
    r.traceColour[0] = 1.5f;    // from an edited file: bar at 100, becomes 1.0
    r.traceColour[1] = -0.25f;  // bar stays at 0, no handler runs, the value stays
    r.traceColour[2] = 0.0f;
    TForm3* dialog = openDialog();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->trackBar(9)->value(), 100);
    EXPECT_EQ(r.traceColour[0], 1.0f);
    EXPECT_EQ(dialog->trackBar(10)->value(), 0);
    EXPECT_EQ(r.traceColour[1], -0.25f);
    EXPECT_EQ(dialog->trackBar(11)->value(), 0);
}

TEST_F(SettingsDialogTest, UserMovedBarChangesTheLiveColourOnly) {
    TForm3* dialog = openDialog();
    ASSERT_NE(dialog, nullptr);
    const std::vector<int> before = storedColours();
    dialog->trackBar(13)->setValue(25);  // grid red
    EXPECT_EQ(window->record().gridColour[0], static_cast<float>(25.0L * 0.01f));
    EXPECT_EQ(storedColours(), before) << "colours reach the file only at exit";
}

// A colour shows at once: every panel presents a new frame.
TEST_F(SettingsDialogTest, MovingABarRepaintsTheSevenPanels) {
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    QTest::qWait(100);
    TForm3* dialog = openDialog();
    ASSERT_NE(dialog, nullptr);
    long before[7];
    for (int n = 1; n <= 7; ++n) before[n - 1] = window->panel(n)->presentedFrames();
    dialog->trackBar(4)->setValue(20);  // name text brightness: shows on all seven
    QElapsedTimer t;
    t.start();
    auto allRepainted = [&] {
        for (int n = 1; n <= 7; ++n)
            if (window->panel(n)->presentedFrames() <= before[n - 1]) return false;
        return true;
    };
    while (!allRepainted() && t.elapsed() < 3000) QTest::qWait(10);
    for (int n = 1; n <= 7; ++n) EXPECT_GT(window->panel(n)->presentedFrames(), before[n - 1]) << n;
}

TEST_F(SettingsDialogTest, PickedRowIsStoredUnderTheSetThatIsDown) {
    TForm3* dialog = openDialog();
    ASSERT_NE(dialog, nullptr);
    QTest::mouseClick(dialog->speedButton(7), Qt::LeftButton);
    EXPECT_TRUE(dialog->speedButton(7)->isChecked());
    EXPECT_FALSE(dialog->speedButton(1)->isChecked());
    QComboBox* list2 = dialog->comboBox(2);
    list2->setCurrentIndex(55);
    emit list2->activated(55);  // what a pick by the user raises
    EXPECT_EQ(storedRow(7, 2), 55);
    EXPECT_EQ(storedRow(1, 2), 2) << "only the set that is down is written";
    EXPECT_EQ(selected(), (std::vector<int>{2, 3, 4, 5, 6})) << "the charts change only after button 7";
    window->parameterSetClicked(7);
    EXPECT_EQ(selected(), (std::vector<int>{2, 56, 4, 5, 6}));
}

TEST_F(SettingsDialogTest, ListsHoldTheCatalogueAndShowTheStoredRows) {
    writeBytes(
        config.file(),
        "REGEDIT4\n\n" + section("\\TORVAL\\DIAGRAM\\F", {{"diagram_ok", 1}}) +
            section(
                "\\TORVAL\\DIAGRAM\\F1",
                {{"diagram_1", 78}, {"diagram_2", 0}, {"diagram_3", 79}, {"diagram_4", -1}, {"diagram_5", 40}}) +
            section("\\TORVAL\\DIAGRAM\\F2", {{"diagram_1", 5}, {"diagram_2", 6}}));
    window.reset();
    start();
    TForm3* dialog = openDialog();
    ASSERT_NE(dialog, nullptr);
    for (int n = 1; n <= 5; ++n) {
        QComboBox* list = dialog->comboBox(n);
        ASSERT_EQ(list->count(), 79);
        EXPECT_FALSE(list->isEditable());
        for (int row = 0; row < 79; ++row)
            ASSERT_EQ(list->itemText(row).toStdString(),
                      m797::cp1251ToUtf8(m797::catalogueEntry(row + 1)->listText));
    }
    const int shown[5] = {78, 0, -1, -1, 40};  // 79 and -1 name no row: no selection
    for (int n = 1; n <= 5; ++n) EXPECT_EQ(dialog->comboBox(n)->currentIndex(), shown[n - 1]) << "list " << n;

    // F2 stops at its missing third value, keeping the first two rows.
    QTest::mouseClick(dialog->speedButton(2), Qt::LeftButton);
    const int afterF2[5] = {5, 6, -1, -1, 40};
    for (int n = 1; n <= 5; ++n) EXPECT_EQ(dialog->comboBox(n)->currentIndex(), afterF2[n - 1]) << "list " << n;
    EXPECT_EQ(reporter.messages, std::vector<std::string>{"Failed to get data for 'diagram_3'"});
    // A missing set leaves the lists as they are.
    QTest::mouseClick(dialog->speedButton(11), Qt::LeftButton);
    EXPECT_EQ(dialog->comboBox(1)->currentIndex(), 5);
    EXPECT_EQ(reporter.messages.size(), 1u);
}

TEST_F(SettingsDialogTest, PagesAndFixedChoices) {
    TForm3* dialog = openDialog();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->windowTitle(), QString::fromUtf8("Настройка программы"));
    QTabWidget* pages = dialog->pages();
    ASSERT_EQ(pages->count(), 4);
    const char* captions[4] = {"Ноборы параметров", "Цветовая схема", "Выбор ЭБУ", "Com Port"};
    for (int i = 0; i < 4; ++i) EXPECT_EQ(pages->tabText(i), QString::fromUtf8(captions[i]));
    EXPECT_EQ(pages->currentIndex(), 0);
    EXPECT_TRUE(dialog->speedButton(1)->isChecked());
    // Control-unit page: only "Bosch M7.9.7 E2" can be chosen, and it is.
    std::vector<std::string> enabled, checked;
    for (QRadioButton* b : pages->widget(2)->findChildren<QRadioButton*>()) {
        if (b->isEnabled()) enabled.push_back(b->text().toStdString());
        if (b->isChecked()) checked.push_back(b->text().toStdString());
    }
    EXPECT_EQ(enabled, std::vector<std::string>{"Bosch M7.9.7 E2"});
    EXPECT_EQ(checked, std::vector<std::string>{"Bosch M7.9.7 E2"});
    EXPECT_EQ(pages->widget(2)->findChildren<QRadioButton*>().size(), 12);
}

TEST_F(SettingsDialogTest, ClosingEnablesTheMainWindowAndStoresNothing) {
    QPointer<TForm3> dialog = openDialog();
    ASSERT_TRUE(dialog);
    const std::string before = m797::testing::readBytes(config.file());
    dialog->close();
    EXPECT_FALSE(m797::dialogs::inputBlocked(window.get()));
    EXPECT_EQ(m797::testing::readBytes(config.file()), before);
    // The next press builds a fresh dialog from the current state.
    TForm3* again = openDialog();
    ASSERT_NE(again, nullptr);
    EXPECT_TRUE(again->speedButton(1)->isChecked());
}

TEST_F(SettingsDialogTest, MainWindowSetButtonsReloadFromTheStore) {
    m797::storeParameterSetRow(file(), 12, 1, 78);
    QTest::mouseClick(window->speedButton(15), Qt::LeftButton);  // button "12"
    EXPECT_EQ(selected(), (std::vector<int>{79, 3, 4, 5, 6}));
    // The button that is down reloads its set, picking up a change made since.
    m797::storeParameterSetRow(file(), 12, 2, 100);
    QTest::mouseClick(window->speedButton(15), Qt::LeftButton);
    EXPECT_TRUE(window->speedButton(15)->isChecked());
    EXPECT_EQ(selected(), (std::vector<int>{79, 101, 4, 5, 6}));
    EXPECT_EQ(m797::catalogueEntry(101), nullptr);
    EXPECT_EQ(m797::slotOf(101).kind, m797::SlotKind::None) << "that chart draws no trace";
}

TEST_F(SettingsDialogTest, SettingsSurviveARestart) {
    TForm3* dialog = openDialog();
    ASSERT_NE(dialog, nullptr);
    QTest::mouseClick(dialog->speedButton(1), Qt::LeftButton);
    dialog->comboBox(5)->setCurrentIndex(70);
    emit dialog->comboBox(5)->activated(70);
    dialog->trackBar(8)->setValue(20);  // value-text brightness
    dialog->close();
    window->SpeedButton18Click();
    window.reset();
    start();
    EXPECT_EQ(selected(), (std::vector<int>{2, 3, 4, 5, 71}));
    EXPECT_FLOAT_EQ(window->record().valueTextColour[3], 0.19f);  // 20 x colourScale is stored as 19
    EXPECT_TRUE(reporter.messages.empty());
}

// The rows of the port list as shown.
std::vector<std::string> portRows(const TForm3& dialog) {
    std::vector<std::string> rows;
    for (int i = 0; i < dialog.portList()->count(); ++i)
        rows.push_back(dialog.portList()->item(i)->text().toStdString());
    return rows;
}

const std::string kWifiRow = "WiFi  ELM327 по Wi-Fi  192.168.0.10:35000";
const std::string kSimulatorRow = "SIM  Встроенный имитатор ЭБУ";

std::string currentPortRow(const TForm3& dialog) {
    const QListWidgetItem* item = dialog.portList()->currentItem();
    return item ? item->text().toStdString() : std::string();
}

TEST_F(SettingsDialogTest, ComPortPageListsTheDevicesMarksTheOneInUseAndStoresAPick) {
    m797::FakeDeviceTree tree("com-port-page");
    tree.usbAdapter("ttyUSB0", "ftdi_sio", "0403", "6001", "FT232R USB UART", "usb-FTDI_FT232R-if00-port0");
    tree.usbAdapter("ttyUSB1", "ch341", "1a86", "7523", "USB Serial", "usb-1a86_USB_Serial-if00-port0");
    tree.bluetooth("rfcomm0");
    tree.uart("ttyS0", "4");
    tree.uart("ttyS1", "0");
    TForm3* dialog = openDialog();
    ASSERT_NE(dialog, nullptr);
    dialog->setDeviceRoots(tree.roots());
    // In use: the CH340 by its stable name, as a run chose it.
    dialog->setPortInUse(tree.dev("serial/by-id/usb-1a86_USB_Serial-if00-port0"));
    EXPECT_EQ(portRows(*dialog), (std::vector<std::string>{
                                     "BT0  Bluetooth",
                                     "Com1  встроенный порт",
                                     "USB0  FTDI  FT232R USB UART  0403:6001",
                                     "USB1  CH340  USB Serial  1a86:7523  - используется",
                                     "WiFi  ELM327 по Wi-Fi  192.168.0.10:35000",
                                     "SIM  Встроенный имитатор ЭБУ",
                                 }));
    EXPECT_TRUE(dialog->portList()->item(3)->font().bold());
    EXPECT_FALSE(dialog->portList()->item(2)->font().bold());
    EXPECT_EQ(currentPortRow(*dialog), "") << "nothing stored yet";

    // A pick is stored at once, by the stable name, and said to take effect at the next start.
    QListWidgetItem* ftdi = dialog->portList()->item(2);
    emit dialog->portList()->itemClicked(ftdi);
    EXPECT_EQ(m797::readPortChoice(file()).device, tree.dev("serial/by-id/usb-FTDI_FT232R-if00-port0"));
    EXPECT_NE(dialog->portNote()->text().toStdString().find("USB0"), std::string::npos);
    EXPECT_NE(dialog->portNote()->text().toStdString().find("следующем запуске"), std::string::npos);
    emit dialog->portList()->itemClicked(dialog->portList()->item(5));
    EXPECT_EQ(m797::readPortChoice(file()).device, "SIM");
    EXPECT_TRUE(reporter.messages.empty());
}

// The kind of adapter is chosen below the list and stored beside the port;
// a later pick of a port keeps it.
TEST_F(SettingsDialogTest, ComPortPageStoresTheAdapterKind) {
    ASSERT_TRUE(m797::storePortChoice(file(), {"SIM", "elm327"}));
    TForm3* dialog = openDialog();
    ASSERT_NE(dialog, nullptr);
    ASSERT_NE(dialog->adapterBox(), nullptr);
    EXPECT_EQ(dialog->adapterBox()->currentIndex(), 1) << "the stored ELM327 shown";
    dialog->adapterBox()->setCurrentIndex(0);
    emit dialog->adapterBox()->activated(0);
    EXPECT_EQ(m797::readPortChoice(file()), (m797::PortChoice{"SIM", "kline"}));
    EXPECT_NE(dialog->portNote()->text().toStdString().find("K-Line"), std::string::npos);
    dialog->adapterBox()->setCurrentIndex(1);
    emit dialog->adapterBox()->activated(1);
    const int sim = dialog->portList()->count() - 1;
    emit dialog->portList()->itemClicked(dialog->portList()->item(sim));
    EXPECT_EQ(m797::readPortChoice(file()), (m797::PortChoice{"SIM", "elm327"}));
    EXPECT_TRUE(reporter.messages.empty());
}

TEST_F(SettingsDialogTest, ComPortPageFollowsPluggingInAndOut) {
    m797::FakeDeviceTree tree("com-port-plugging");
    tree.usbAdapter("ttyUSB0", "ftdi_sio", "0403", "6001", "FT232R USB UART", "usb-FTDI_FT232R-if00-port0");
    ASSERT_TRUE(m797::storePortChoice(file(), {tree.dev("serial/by-id/usb-FTDI_FT232R-if00-port0")}));
    TForm3* dialog = openDialog();
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(dialog->portRefresh()->isActive());
    dialog->setDeviceRoots(tree.roots());
    EXPECT_EQ(currentPortRow(*dialog), "USB0  FTDI  FT232R USB UART  0403:6001");

    tree.unplug("ttyUSB0");
    dialog->refreshPorts();
    // The stored choice keeps a row while it is out, still selected.
    EXPECT_EQ(portRows(*dialog), (std::vector<std::string>{"USB  не подключён", kWifiRow, kSimulatorRow}));
    EXPECT_EQ(currentPortRow(*dialog), "USB  не подключён");
    // Back under another number: the same stable name, still the stored choice.
    tree.usbAdapter("ttyUSB3", "ftdi_sio", "0403", "6001", "FT232R USB UART", "usb-FTDI_FT232R-if00-port0");
    tree.byIdOnly("ttyACM0", "usb-Arduino-if00");
    dialog->refreshPorts();
    EXPECT_EQ(portRows(*dialog), (std::vector<std::string>{"ACM0", "USB3  FTDI  FT232R USB UART  0403:6001",
                                                           kWifiRow, kSimulatorRow}));
    EXPECT_EQ(currentPortRow(*dialog), "USB3  FTDI  FT232R USB UART  0403:6001");

    // A port named with --port that is not there is shown in use all the same.
    dialog->setPortInUse("/dev/ttyUSB7");
    EXPECT_EQ(portRows(*dialog).at(2), "USB7  не подключён  - используется");
}

// A Wi-Fi ELM327 is picked from its row at the address in the field, or by
// typing another address; it is always an ELM327.
TEST_F(SettingsDialogTest, ComPortPageChoosesAWifiAdapter) {
    m797::FakeDeviceTree tree("com-port-wifi");
    TForm3* dialog = openDialog();
    ASSERT_NE(dialog, nullptr);
    dialog->setDeviceRoots(tree.roots());
    ASSERT_NE(dialog->wifiAddress(), nullptr);
    EXPECT_EQ(dialog->wifiAddress()->text().toStdString(), "192.168.0.10:35000");
    EXPECT_EQ(portRows(*dialog), (std::vector<std::string>{kWifiRow, kSimulatorRow}));

    emit dialog->portList()->itemClicked(dialog->portList()->item(0));
    EXPECT_EQ(m797::readPortChoice(file()), (m797::PortChoice{"tcp:192.168.0.10:35000", "elm327"}));
    EXPECT_EQ(dialog->adapterBox()->currentIndex(), 1);
    EXPECT_NE(dialog->portNote()->text().toStdString().find("WiFi 192.168.0.10:35000"), std::string::npos);

    // The plain adapter cannot be on Wi-Fi: refused, and said why.
    emit dialog->adapterBox()->activated(0);
    EXPECT_EQ(m797::readPortChoice(file()).adapter, "elm327");
    EXPECT_EQ(dialog->adapterBox()->currentIndex(), 1);
    EXPECT_NE(dialog->portNote()->text().toStdString().find("только адаптер ELM327"), std::string::npos);

    struct Typed {
        const char* text;
        const char* stored;  // what the choice is afterwards
        const char* note;
    };
    const Typed typed[] = {
        {" 10.0.0.5:23 ", "tcp:10.0.0.5:23", "WiFi 10.0.0.5:23"},
        {"10.0.0.5", "tcp:10.0.0.5:23", "не подходит"},  // no port: nothing stored
        {"obd.local:70000", "tcp:10.0.0.5:23", "не подходит"},
        {"obd.local:35000", "tcp:obd.local:35000", "WiFi obd.local:35000"},
    };
    for (const Typed& t : typed) {
        dialog->wifiAddress()->setText(QString::fromUtf8(t.text));
        emit dialog->wifiAddress()->editingFinished();
        EXPECT_EQ(m797::readPortChoice(file()).device, t.stored) << t.text;
        EXPECT_NE(dialog->portNote()->text().toStdString().find(t.note), std::string::npos)
            << t.text << ": " << dialog->portNote()->text().toStdString();
    }
    EXPECT_EQ(currentPortRow(*dialog), "WiFi  ELM327 по Wi-Fi  obd.local:35000");

    // The next opening shows the stored address; another one in use by --port has its own row.
    dialog->close();
    dialog = openDialog();
    ASSERT_NE(dialog, nullptr);
    dialog->setDeviceRoots(tree.roots());
    EXPECT_EQ(dialog->wifiAddress()->text().toStdString(), "obd.local:35000");

    // Stored from elsewhere with the plain adapter beside it: shown as the ELM327 it must be.
    dialog->close();
    ASSERT_TRUE(m797::storePortChoice(file(), {"tcp:obd.local:35000", "kline"}));
    dialog = openDialog();
    ASSERT_NE(dialog, nullptr);
    dialog->setDeviceRoots(tree.roots());
    EXPECT_EQ(dialog->adapterBox()->currentIndex(), 1);
    dialog->setPortInUse("tcp:127.0.0.1:35000");
    EXPECT_EQ(portRows(*dialog),
              (std::vector<std::string>{"WiFi  ELM327 по Wi-Fi  obd.local:35000",
                                        "WiFi  ELM327 по Wi-Fi  127.0.0.1:35000  - используется", kSimulatorRow}));
    EXPECT_TRUE(reporter.messages.empty());
}

}  // namespace
