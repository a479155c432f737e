#pragma once
// Something the start-up has to tell, as a value: the window shows it its
// own way (a problem in a message box, everything on the terminal too),
// headless mode prints it. Both say the same words.

#include <string>
#include <vector>

namespace m797 {

enum class NoticeKind {
    Note,     // for the terminal only: which port the run takes
    Problem,  // for the technician to see: the window shows it in a box
};

struct Notice {
    NoticeKind kind = NoticeKind::Note;
    std::string text;  // UTF-8, no line end
    bool operator==(const Notice&) const = default;
};

using Notices = std::vector<Notice>;

// The notice as a terminal line: "m797diag: text" and a line end.
std::string terminalLine(const std::string& text);

}  // namespace m797
