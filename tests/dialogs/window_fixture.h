#pragma once
// Finds the window of a kind that is on show; stores a trouble-code answer
// as the acquisition thread does.

#include <QApplication>
#include <QWidget>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <mutex>

#include "app/record/live_record.h"

namespace dialogs_test {

template <typename W>
W* openWindow() {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* window = qobject_cast<W*>(w); window && window->isVisible()) return window;
    return nullptr;
}

// The record's trouble-code answer holding `records` (three bytes each).
inline void storeAnswer(m797::LiveRecord& record, std::initializer_list<std::uint8_t> records) {
    std::lock_guard<std::mutex> guard(record.lock);
    std::memset(record.dtcResponse, 0, sizeof record.dtcResponse);
    record.dtcResponse[12] = static_cast<std::uint8_t>(records.size() / 3);
    int i = 13;
    for (std::uint8_t b : records) record.dtcResponse[i++] = b;
}

}  // namespace dialogs_test
