#pragma once

#include <QtGlobal>

// Without a display Qt cannot load its windowing plugin and aborts with a page about
// reinstalling. While the application object connects, this holds Qt's messages: if the
// connection fails, the operator gets one line saying what the program needs and the
// program ends with a failure status; once connected, the held messages go on as usual.
class TDisplayGuard final
{
public:
    TDisplayGuard();
    ~TDisplayGuard();
    Q_DISABLE_COPY_MOVE(TDisplayGuard)

    // The application object has its display: messages take their usual way again.
    void connected();

private:
    QtMessageHandler m_previous;
};
