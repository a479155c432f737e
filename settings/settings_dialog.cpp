#include "settings/settings_dialog.h"

#include <QButtonGroup>
#include <QCloseEvent>
#include <QComboBox>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTabWidget>
#include <QTimer>
#include <QToolButton>
#include <algorithm>
#include <string_view>
#include <vector>

#include "app/record/cp1251.h"
#include "app/shell/port_selection.h"
#include "dialogs/dialog_helpers.h"
#include "dialogs/input_block.h"
#include "display/catalogue/catalogue.h"
#include "settings/store/colour_scheme.h"
#include "settings/store/port_choice.h"
#include "settings/store/settings_operations.h"

namespace {

constexpr const char* kCaption = "Настройка программы";
constexpr const char* kPageCaptions[4] = {"Ноборы параметров", "Цветовая схема", "Выбор ЭБУ", "Com Port"};
constexpr const char* kSetsGroup = "Наборы";
constexpr const char* kListsGroup = "Параметры";
constexpr const char* kBarLabels[4] = {"Красный", "Зеленый", "Синий", "Яркость"};
constexpr const char* kResetCaption = "Сброс";
constexpr const char* kColourGroups[4] = {"Имя параметра", "Параметр", "График", "Сетка"};
struct EcuGroup {
    const char* caption;
    std::vector<const char*> buttons;
};
// Only "Bosch M7.9.7" and its first button are enabled; nothing reads these pages.
const EcuGroup kEcuGroups[5] = {
    {"Bosch 1.5.4", {"Bosch 1.5.4 P83", "Bosch 1.5.4 N"}},
    {"Bosch MP 7", {"Bosch MP 7 E2", "Bosch MP 7 E3"}},
    {"Bosch M7.9.7", {"Bosch M7.9.7 E2", "Bosch M7.9.7 E3"}},
    {"VS 5.1", {"VS 5.1 P83", "VS 5.1 E2"}},
    {"Январь", {"Январь 5.1  Е2", "Январь 5.1.1 Р83", "Январь 5.1.2 Р83", "Январь 7.2"}},
};
constexpr const char* kPortsCaption = "Порт адаптера:";
constexpr const char* kSimulatorText = "Встроенный имитатор ЭБУ";
constexpr const char* kInUseMark = "  - используется";
constexpr const char* kNotPluggedIn = "не подключён";
constexpr const char* kBuiltInPort = "встроенный порт";
constexpr const char* kPickedNote = "Порт %1 выбран; он будет открыт при следующем запуске программы.";
constexpr const char* kPickedAtStartNote = "Порт %1 выбран; он будет открыт при следующем нажатии «Старт».";
constexpr const char* kNotStoredNote = "Выбор не удалось сохранить.";
constexpr const char* kAdapterCaption = "Адаптер:";
// The adapter kinds of the box, in its order, with their stored names.
struct AdapterRow {
    const char* text;
    const char* stored;
};
constexpr AdapterRow kAdapters[2] = {{"K-Line (с эхом)", "kline"}, {"ELM327", "elm327"}};
constexpr const char* kAdapterNote = "Адаптер %1 выбран; он будет использован при следующем запуске программы.";
constexpr const char* kAdapterAtStartNote =
    "Адаптер %1 выбран; он будет использован при следующем нажатии «Старт».";
constexpr const char* kWifiCaption = "Wi-Fi:";
constexpr const char* kWifiText = "ELM327 по Wi-Fi";
constexpr const char* kWifiBadAddress = "Адрес «%1» не подходит: нужен вид 192.168.0.10:35000.";
constexpr const char* kWifiIsElm327 = "По Wi-Fi работает только адаптер ELM327.";
constexpr const char* kStartNote = "Выберите порт, к которому подключён адаптер.";
constexpr int kPortPollMs = 1000;  // plugging in or out shows within a second
enum PortRole { kStableNameRole = Qt::UserRole, kDeviceRole };

// Colour groups left to right and the record colour each one edits; bars
// 1-4, 5-8, 9-12, 13-16 in that order.
enum ColourIndex { kGrid = 0, kName = 1, kValue = 2, kTrace = 3 };
constexpr int kGroupColour[4] = {kName, kValue, kTrace, kGrid};
// The order in which the dialog sets the bars from the colours: grid first.
constexpr int kBarGroupsInSettingOrder[4] = {3, 0, 1, 2};
constexpr int kRepaintOrder[7] = {1, 2, 3, 4, 5, 7, 6};

QString utf8(const char* s) { return QString::fromUtf8(s); }

QFrame* bevelledPanel(QWidget* parent, QRect geometry) {
    auto* p = new QFrame(parent);
    p->setFrameStyle(QFrame::Panel | QFrame::Raised);
    p->setGeometry(geometry);
    return p;
}

}  // namespace

TForm3::TForm3(m797::LiveRecord& record, std::function<void(int panel)> repaintPanel, QWidget& blockedWindow,
               m797::SettingsFile& settings, QWidget* parent)
    : QWidget(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint),
      record_(record),
      repaintPanel_(std::move(repaintPanel)),
      window_(&blockedWindow),
      settings_(settings) {
    setAttribute(Qt::WA_DeleteOnClose);
    setObjectName(QStringLiteral("Form3"));
    setWindowTitle(utf8(kCaption));
    setFixedSize(513, 309);
    PageControl1 = new QTabWidget(this);
    PageControl1->setGeometry(0, 0, 513, 309);
    PageControl1->addTab(buildSetsPage(), utf8(kPageCaptions[0]));
    PageControl1->addTab(buildColourPage(), utf8(kPageCaptions[1]));
    PageControl1->addTab(buildEcuPage(), utf8(kPageCaptions[2]));
    PageControl1->addTab(buildPortPage(), utf8(kPageCaptions[3]));
    PageControl1->setCurrentIndex(0);

    setButtons_[0]->setChecked(true);
    colourScale_ = 0.01f;
    setTrackBarsFromColours();
    showSetInLists(1);

    m797::dialogs::centreOnScreen(this);
    show();
}

QWidget* TForm3::buildSetsPage() {
    auto* page = new QWidget;
    auto* setsBox = new QGroupBox(utf8(kSetsGroup), page);
    setsBox->setGeometry(8, 4, 489, 44);
    sets_ = new QButtonGroup(this);
    sets_->setExclusive(true);
    for (int n = 1; n <= 12; ++n) {
        auto* b = new QToolButton(setsBox);
        b->setObjectName(QStringLiteral("SpeedButton%1").arg(n));
        b->setText(QStringLiteral("F%1").arg(n));
        b->setCheckable(true);
        b->setGeometry(8 + 40 * (n - 1), 18, 33, 17);
        sets_->addButton(b, n);
        setButtons_[n - 1] = b;
    }
    connect(sets_, &QButtonGroup::idClicked, this, &TForm3::SpeedButtonClick);

    auto* listsBox = new QGroupBox(utf8(kListsGroup), page);
    listsBox->setGeometry(8, 52, 489, 220);
    QStringList rows;
    for (int number = 1; number <= m797::kParameterCount; ++number)
        rows << QString::fromStdString(m797::cp1251ToUtf8(m797::catalogueEntry(number)->listText));
    for (int n = 1; n <= 5; ++n) {
        auto* list = new QComboBox(listsBox);
        list->setObjectName(QStringLiteral("ComboBox%1").arg(n));
        list->setEditable(false);
        list->setFont(m797::dialogs::narrowListFont());
        list->addItems(rows);
        list->setCurrentIndex(-1);
        list->setGeometry(8, 24 + 40 * (n - 1), 473, 22);
        // activated: only a pick by the user stores; selections made here do not.
        connect(list, &QComboBox::activated, this, [this, n] { ComboBoxChange(n); });
        lists_[n - 1] = list;
    }
    return page;
}

QWidget* TForm3::buildColourPage() {
    auto* page = new QWidget;
    for (int g = 0; g < 4; ++g) {
        auto* box = new QGroupBox(utf8(kColourGroups[g]), page);
        box->setGeometry(8 + 124 * g, 4, 118, 236);
        for (int c = 0; c < 4; ++c) {
            const int bar = 4 * g + c + 1;
            auto* caption = new QLabel(utf8(kBarLabels[c]), box);
            caption->setAlignment(Qt::AlignHCenter);
            // Clear of the group's frame line below its title.
            caption->setGeometry(4, 22 + 54 * c, 110, 14);
            auto* slider = new QSlider(Qt::Horizontal, box);
            slider->setObjectName(QStringLiteral("TrackBar%1").arg(bar));
            slider->setRange(0, 100);
            slider->setTickInterval(10);
            slider->setTickPosition(QSlider::TicksBelow);
            slider->setGeometry(4, 36 + 54 * c, 110, 30);
            connect(slider, &QSlider::valueChanged, this, [this, bar] { TrackBarChange(bar); });
            trackBars_[bar - 1] = slider;
        }
    }
    SpeedButton13 = new QPushButton(utf8(kResetCaption), page);
    SpeedButton13->setObjectName(QStringLiteral("SpeedButton13"));
    SpeedButton13->setGeometry(420, 246, 75, 25);
    connect(SpeedButton13, &QPushButton::clicked, this, &TForm3::SpeedButton13Click);
    return page;
}

QWidget* TForm3::buildEcuPage() {
    auto* page = new QWidget;
    QFrame* panel = bevelledPanel(page, {4, 4, 497, 268});
    // Places of the five groups; the empty panel sits below the middle ones.
    const QRect places[5] = {
        {8, 8, 157, 68}, {170, 8, 157, 68}, {332, 8, 157, 68}, {8, 84, 157, 68}, {332, 84, 157, 110}};
    for (int g = 0; g < 5; ++g) {
        const bool supported = g == 2;
        auto* box = new QGroupBox(utf8(kEcuGroups[g].caption), panel);
        box->setGeometry(places[g]);
        box->setEnabled(supported);
        int y = 20;
        for (std::size_t b = 0; b < kEcuGroups[g].buttons.size(); ++b, y += 22) {
            auto* radio = new QRadioButton(utf8(kEcuGroups[g].buttons[b]), box);
            radio->setGeometry(8, y, 145, 20);
            const bool only = supported && b == 0;
            radio->setEnabled(only);
            radio->setChecked(only);
        }
    }
    bevelledPanel(panel, {170, 84, 157, 68});
    return page;
}

QWidget* TForm3::buildPortPage() {
    auto* page = new QWidget;
    QFrame* panel = bevelledPanel(page, {4, 4, 497, 268});
    auto* caption = new QLabel(utf8(kPortsCaption), panel);
    caption->setGeometry(8, 6, 480, 16);
    portList_ = new QListWidget(panel);
    portList_->setObjectName(QStringLiteral("PortList"));
    portList_->setFont(m797::dialogs::narrowListFont());
    portList_->setGeometry(8, 24, 481, 176);
    auto* adapterCaption = new QLabel(utf8(kAdapterCaption), panel);
    adapterCaption->setGeometry(8, 206, 70, 16);
    adapterBox_ = new QComboBox(panel);
    adapterBox_->setObjectName(QStringLiteral("AdapterBox"));
    adapterBox_->setGeometry(80, 204, 180, 20);
    for (const AdapterRow& row : kAdapters) adapterBox_->addItem(utf8(row.text));
    const m797::PortChoice choice = m797::readPortChoice(settings_);
    const bool elm327 = choice.adapter == kAdapters[1].stored || m797::isWifiPort(choice.device);
    adapterBox_->setCurrentIndex(elm327 ? 1 : 0);
    connect(adapterBox_, &QComboBox::activated, this, &TForm3::adapterPicked);
    auto* wifiCaption = new QLabel(utf8(kWifiCaption), panel);
    wifiCaption->setGeometry(272, 206, 40, 16);
    wifiAddress_ = new QLineEdit(panel);
    wifiAddress_->setObjectName(QStringLiteral("WifiAddress"));
    wifiAddress_->setGeometry(312, 204, 177, 20);
    wifiAddress_->setText(QString::fromStdString(storedWifiAddress()));
    connect(wifiAddress_, &QLineEdit::editingFinished, this, &TForm3::wifiAddressEntered);
    portNote_ = new QLabel(utf8(kStartNote), panel);
    portNote_->setObjectName(QStringLiteral("PortNote"));
    portNote_->setWordWrap(true);
    portNote_->setGeometry(8, 228, 481, 34);
    connect(portList_, &QListWidget::itemClicked, this, &TForm3::portPicked);
    connect(portList_, &QListWidget::itemActivated, this, &TForm3::portPicked);
    portRefresh_ = new QTimer(this);
    connect(portRefresh_, &QTimer::timeout, this, &TForm3::refreshPorts);
    portRefresh_->start(kPortPollMs);
    ports_ = m797::listSerialPorts(deviceRoots_);
    fillPortList();
    return page;
}

void TForm3::setPortInUse(const std::string& device) {
    portInUse_ = device;
    fillPortList();
}

void TForm3::setDeviceRoots(const m797::DeviceRoots& roots) {
    deviceRoots_ = roots;
    ports_ = m797::listSerialPorts(deviceRoots_);
    fillPortList();
}

void TForm3::refreshPorts() {
    std::vector<m797::SerialPortInfo> now = m797::listSerialPorts(deviceRoots_);
    if (m797::serialPortListText(now) == m797::serialPortListText(ports_)) return;
    ports_ = std::move(now);
    fillPortList();
}

namespace {

// "USB0  FTDI  FT232R USB UART  0403:6001"
QString portLine(const m797::SerialPortInfo& p) {
    std::string line = m797::shortPortName(m797::stablePortName(p));
    const std::string kind = m797::isPluggedAdapter(p) ? m797::adapterKind(p.driver) : kBuiltInPort;
    for (const std::string& part : {kind, p.product})
        if (!part.empty()) line += "  " + part;
    if (!p.vendorId.empty()) line += "  " + p.vendorId + ":" + p.productId;
    return QString::fromStdString(line);
}

QString portTip(const m797::SerialPortInfo& p) {
    std::string tip = m797::stablePortName(p);
    if (tip != p.device) tip += "\n" + p.device;
    if (!p.driver.empty()) tip += "\n" + p.driver;
    return QString::fromStdString(tip);
}

QListWidgetItem* portItem(const QString& text, const std::string& stable, const std::string& device) {
    auto* item = new QListWidgetItem(text);
    item->setData(kStableNameRole, QString::fromStdString(stable));
    item->setData(kDeviceRole, QString::fromStdString(device));
    return item;
}

void markInUse(QListWidgetItem& item) {
    QFont bold = item.font();
    bold.setBold(true);
    item.setFont(bold);
    item.setText(item.text() + utf8(kInUseMark));
}

// "WiFi  ELM327 по Wi-Fi  192.168.0.10:35000"
QListWidgetItem* wifiItem(const std::string& port) {
    QListWidgetItem* item = portItem(QStringLiteral("%1  %2  %3")
                                         .arg(QString::fromStdString(m797::shortPortName(port)), utf8(kWifiText),
                                              QString::fromStdString(m797::wifiAddressOf(port))),
                                     port, port);
    item->setToolTip(QString::fromStdString(port));
    return item;
}

bool names(const QListWidgetItem& item, const std::string& device, const std::vector<std::string>& byId) {
    if (device.empty()) return false;
    const std::string stable = item.data(kStableNameRole).toString().toStdString();
    return device == stable || device == item.data(kDeviceRole).toString().toStdString() ||
           std::find(byId.begin(), byId.end(), device) != byId.end();
}

}  // namespace

// The devices present and the simulator; the one in use in bold and so
// marked, the stored choice selected. Built anew on every change.
void TForm3::fillPortList() {
    if (!portList_) return;
    const std::string stored = m797::readPortChoice(settings_).device;
    portList_->clear();
    bool inUseListed = false, storedListed = false;
    auto place = [&](QListWidgetItem* item, const std::vector<std::string>& byId) {
        portList_->addItem(item);
        if (names(*item, portInUse_, byId)) {
            markInUse(*item);
            inUseListed = true;
        }
        if (names(*item, stored, byId)) {
            portList_->setCurrentItem(item);
            storedListed = true;
        }
    };
    for (const m797::SerialPortInfo& p : ports_) {
        QListWidgetItem* item = portItem(portLine(p), m797::stablePortName(p), p.device);
        item->setToolTip(portTip(p));
        place(item, p.byIdNames);
    }
    // The port in use or the one chosen keeps a row while it is not plugged
    // in, so the technician sees what the program will open.
    std::vector<std::string> absent;
    auto absentRow = [](const std::string& d) {
        return !d.empty() && d != m797::kSimulatorPortName && !m797::isWifiPort(d);
    };
    if (!inUseListed && absentRow(portInUse_)) absent.push_back(portInUse_);
    if (!storedListed && absentRow(stored) && stored != portInUse_) absent.push_back(stored);
    for (const std::string& device : absent) {
        QListWidgetItem* item = portItem(
            QString::fromStdString(m797::shortPortName(device)) + QStringLiteral("  ") + utf8(kNotPluggedIn),
            device, device);
        item->setToolTip(QString::fromStdString(device));
        item->setForeground(portList_->palette().brush(QPalette::Disabled, QPalette::Text));
        place(item, {});
    }
    // The Wi-Fi adapter at the address of the field; one named by --port or
    // stored at another address has a row of its own.
    const std::string wifi = wifiPort();
    place(wifiItem(wifi), {});
    std::vector<std::string> otherWifi;
    for (const std::string& other : {portInUse_, stored}) {
        const bool listed = other == wifi ||
                            std::find(otherWifi.begin(), otherWifi.end(), other) != otherWifi.end();
        if (m797::isWifiPort(other) && m797::isStorablePort(other) && !listed) otherWifi.push_back(other);
    }
    for (const std::string& other : otherWifi) place(wifiItem(other), {});
    place(portItem(QStringLiteral("%1  %2").arg(QString::fromUtf8(m797::kSimulatorPortName), utf8(kSimulatorText)),
                   m797::kSimulatorPortName, m797::kSimulatorPortName),
          {});
}

void TForm3::portPicked(QListWidgetItem* item) {
    if (!window_ || !item) return;
    const std::string stable = item->data(kStableNameRole).toString().toStdString();
    storePort(stable);
}

// Stores the port, with the kind of adapter as chosen (always ELM327 on
// Wi-Fi), and says so.
void TForm3::storePort(const std::string& port) {
    std::string adapter = m797::readPortChoice(settings_).adapter;  // stays as chosen
    const bool wifi = m797::isWifiPort(port);
    if (wifi) {
        adapter = kAdapters[1].stored;
        adapterBox_->setCurrentIndex(1);
    }
    const bool stored = m797::storePortChoice(settings_, {port, adapter});
    const std::string shown = m797::shortPortName(port) + (wifi ? " " + m797::wifiAddressOf(port) : std::string());
    const char* note = pickAtStart_ ? kPickedAtStartNote : kPickedNote;
    portNote_->setText(stored ? utf8(note).arg(QString::fromStdString(shown)) : utf8(kNotStoredNote));
}

// The address in the field as a port name; the default address while the
// field holds none that is well formed.
std::string TForm3::wifiPort() const {
    const std::string typed = m797::wifiPortAt(wifiAddress_->text().trimmed().toStdString());
    return m797::isStorablePort(typed) ? typed : m797::wifiPortAt(m797::kWifiAdapterAddress);
}

std::string TForm3::storedWifiAddress() {
    const std::string stored = m797::readPortChoice(settings_).device;
    return m797::isStorablePort(stored) && m797::isWifiPort(stored) ? m797::wifiAddressOf(stored)
                                                                    : m797::kWifiAdapterAddress;
}

// An address typed in is meant to be used: stored as the port at once.
void TForm3::wifiAddressEntered() {
    if (!window_) return;
    const QString typed = wifiAddress_->text().trimmed();
    if (!m797::isStorablePort(m797::wifiPortAt(typed.toStdString()))) {
        portNote_->setText(utf8(kWifiBadAddress).arg(typed));
        return;
    }
    storePort(wifiPort());
    fillPortList();
}

// The kind of adapter on the chosen port, stored beside it.
void TForm3::adapterPicked(int index) {
    if (!window_ || index < 0 || index > 1) return;
    m797::PortChoice choice = m797::readPortChoice(settings_);
    if (m797::isWifiPort(choice.device) && kAdapters[index].stored != kAdapters[1].stored) {
        adapterBox_->setCurrentIndex(1);
        portNote_->setText(utf8(kWifiIsElm327));
        return;
    }
    choice.adapter = kAdapters[index].stored;
    const bool stored = m797::storePortChoice(settings_, choice);
    const char* note = pickAtStart_ ? kAdapterAtStartNote : kAdapterNote;
    portNote_->setText(stored ? utf8(note).arg(utf8(kAdapters[index].text)) : utf8(kNotStoredNote));
}

float& TForm3::componentOf(int bar) {
    m797::LiveRecord& r = record_;
    float* colours[4] = {r.gridColour, r.nameTextColour, r.valueTextColour, r.traceColour};
    return colours[kGroupColour[(bar - 1) / 4]][(bar - 1) % 4];
}

// A bar whose position changes runs its handler, which replaces the
// component by position x colourScale; a bar already there leaves it.
void TForm3::setTrackBarsFromColours() {
    for (int g : kBarGroupsInSettingOrder) {
        for (int c = 0; c < 4; ++c) {
            const int bar = 4 * g + c + 1;
            trackBars_[bar - 1]->setValue(m797::trackBarPosition(componentOf(bar)));
        }
    }
}

void TForm3::showSetInLists(int setNumber) {
    const m797::ParameterSetRows rows = m797::readParameterSetRows(settings_, setNumber);
    for (int i = 0; i < rows.count; ++i) {
        const std::int32_t row = rows.rows[i];
        const bool listed = row >= 0 && row < m797::kParameterCount;
        lists_[i]->setCurrentIndex(listed ? row : -1);
    }
}

void TForm3::repaintPanels() {
    for (int n : kRepaintOrder) repaintPanel_(n);
}

void TForm3::SpeedButtonClick(int setNumber) {
    if (!window_) return;
    showSetInLists(setNumber);
}

void TForm3::ComboBoxChange(int list) {
    if (!window_) return;
    const int row = lists_[list - 1]->currentIndex();
    if (row < 0) return;
    for (int n = 1; n <= 12; ++n) {
        if (setButtons_[n - 1]->isChecked()) m797::storeParameterSetRow(settings_, n, list, row);
    }
}

void TForm3::TrackBarChange(int bar) {
    if (!window_) return;
    componentOf(bar) = m797::componentFromTrackBar(trackBars_[bar - 1]->value(), colourScale_);
    repaintPanels();
}

void TForm3::SpeedButton13Click() {
    if (!window_) return;
    m797::setColours(record_, m797::kResetColours);
    setTrackBarsFromColours();
    repaintPanels();
}

void TForm3::closeEvent(QCloseEvent* event) {
    m797::dialogs::setInputBlocked(window_, false);
    event->accept();
}
