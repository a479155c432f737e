#pragma once
// The panel's failure messages: a plain message box (OK only) with a fixed
// text, or a fixed prefix followed directly by the system error number.

#include <QString>
#include <functional>

namespace m797::gl {

void showPanelMessage(const QString& text);
// "prefix" + the decimal errno of the failed call.
void showPanelError(const char* prefix, int errorNumber);

// Tests divert the messages from the message box; an empty sink restores it.
void setPanelMessageSink(std::function<void(const QString&)> sink);

}  // namespace m797::gl
