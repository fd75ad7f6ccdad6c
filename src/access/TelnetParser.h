#pragma once

#include <QByteArray>

// Separates telnet commands (IAC sequences) from the data of a byte stream. The state
// survives between feeds, so a command split across two socket reads is still recognised.
class TelnetParser final
{
public:
    class Sink
    {
    public:
        virtual ~Sink() = default;
        virtual void data(const QByteArray &text) = 0;
        virtual void command(int code) = 0;
        // verb is WILL (251), WONT (252), DO (253) or DONT (254).
        virtual void option(int verb, int code) = 0;
        // The sub-negotiation from IAC SB up to, not including, SE.
        virtual void subOption(const QByteArray &bytes) = 0;
        virtual void subOptionTooLong() = 0;
    };

    static constexpr uchar IAC = 255;
    static constexpr uchar SB = 250;
    static constexpr uchar SE = 240;
    static constexpr int kMaxSubOption = 1023;

    void feed(const QByteArray &bytes, Sink &sink);

private:
    void afterIac(uchar byte, Sink &sink);
    void optionByte(uchar byte, Sink &sink);
    void insideSubOption(uchar byte, Sink &sink);

    enum class State { Data, AfterIac, OptionByte, SubOption };

    State m_state = State::Data;
    uchar m_verb = 0;
    QByteArray m_subOption;
};
