#pragma once
// When the X server goes away, Qt's display plugin says "The X11 connection
// broke" and calls exit(1): no signal, no event; only atexit handlers and
// static destructors run. While an EndAtExit lives, such an exit still ends
// the window program through TForm1::endWithoutDisplay (releases confirmed or
// named on stderr); where an output may be left forced, the status becomes
// kExitOutputMayBeForced.

class TForm1;

class EndAtExit {
public:
    explicit EndAtExit(TForm1& window);
    ~EndAtExit();
    EndAtExit(const EndAtExit&) = delete;
    EndAtExit& operator=(const EndAtExit&) = delete;
};
