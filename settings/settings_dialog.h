#pragma once
// TForm3, the settings window opened by "Настройка": the twelve parameter
// sets (stored at once), the colour scheme (applied to the live colours at
// once, stored at exit), the control-unit page, which shows the one
// supported choice, and the port page: the serial devices present, a Wi-Fi
// ELM327 at an address typed in, and the simulator, the one in use marked,
// refreshed while the window is open; a pick is stored at once and used
// from the next "Старт" (or, where the command line named the port, the
// next start of the program). The main window takes no input while it is
// open and gets it back in FormClose.

#include <QPointer>
#include <QWidget>
#include <functional>
#include <string>
#include <vector>

#include "app/record/live_record.h"
#include "app/shell/serial_ports.h"

class QButtonGroup;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QTimer;
class QPushButton;
class QRadioButton;
class QSlider;
class QTabWidget;
class QToolButton;

namespace m797 {
class SettingsFile;
}

class TForm3 : public QWidget {
    Q_OBJECT
public:
    // The colours it edits live in `record`; `repaintPanel(n)` redraws panel
    // n in their new colours; `blockedWindow` (its input held back by the
    // opener) gets its input back at close.
    TForm3(m797::LiveRecord& record, std::function<void(int panel)> repaintPanel, QWidget& blockedWindow,
           m797::SettingsFile& settings, QWidget* parent = nullptr);

    QTabWidget* pages() const { return PageControl1; }
    QToolButton* speedButton(int n) const { return setButtons_[n - 1]; }  // "F1".."F12"
    QComboBox* comboBox(int n) const { return lists_[n - 1]; }
    QSlider* trackBar(int n) const { return trackBars_[n - 1]; }
    QPushButton* resetButton() const { return SpeedButton13; }
    float colourScale() const { return colourScale_; }
    QListWidget* portList() const { return portList_; }
    QLabel* portNote() const { return portNote_; }
    QComboBox* adapterBox() const { return adapterBox_; }
    QLineEdit* wifiAddress() const { return wifiAddress_; }
    QTimer* portRefresh() const { return portRefresh_; }

    // The port the running link uses (a device, its stable name, or "SIM"),
    // marked in the list.
    void setPortInUse(const std::string& device);
    // A pick takes effect at the next "Старт" (the command line named no
    // port), else at the next start of the program. The note says which.
    void setPickTakesEffectAtStart(bool atStart) { pickAtStart_ = atStart; }
    // Where /dev and /sys are (tests make their own); lists again.
    void setDeviceRoots(const m797::DeviceRoots& roots);
    // Lists the devices again when they changed (plugged in or out).
    void refreshPorts();

public slots:
    void SpeedButtonClick(int setNumber);    // SpeedButton1Click .. SpeedButton12Click
    void ComboBoxChange(int list);           // ComboBox1Change .. ComboBox5Change
    void TrackBarChange(int bar);            // TrackBar1Change .. TrackBar16Change
    void SpeedButton13Click();               // "Сброс"
    void portPicked(QListWidgetItem* item);  // stores the pick
    void adapterPicked(int index);           // stores the kind of adapter: 0 K-line, 1 ELM327
    void wifiAddressEntered();               // stores a Wi-Fi adapter's address as the port

protected:
    void closeEvent(QCloseEvent* event) override;  // FormClose

private:
    QWidget* buildSetsPage();
    QWidget* buildColourPage();
    QWidget* buildEcuPage();
    QWidget* buildPortPage();
    void setTrackBarsFromColours();
    void showSetInLists(int setNumber);
    void repaintPanels();
    float& componentOf(int bar);
    void fillPortList();
    void storePort(const std::string& port);
    std::string wifiPort() const;
    std::string storedWifiAddress();

    m797::LiveRecord& record_;
    std::function<void(int panel)> repaintPanel_;
    // The window that owns the record: the dialog may outlive it in tests,
    // and then touches neither.
    QPointer<QWidget> window_;
    m797::SettingsFile& settings_;
    float colourScale_ = 0.0f;

    QTabWidget* PageControl1 = nullptr;
    QButtonGroup* sets_ = nullptr;
    QToolButton* setButtons_[12] = {};
    QComboBox* lists_[5] = {};
    QSlider* trackBars_[16] = {};
    QPushButton* SpeedButton13 = nullptr;

    QListWidget* portList_ = nullptr;
    QLabel* portNote_ = nullptr;
    QComboBox* adapterBox_ = nullptr;
    QLineEdit* wifiAddress_ = nullptr;
    QTimer* portRefresh_ = nullptr;
    m797::DeviceRoots deviceRoots_;
    std::vector<m797::SerialPortInfo> ports_;  // as listed now
    std::string portInUse_;
    bool pickAtStart_ = false;
};
