#include "access/TelnetParser.h"

void TelnetParser::feed(const QByteArray &bytes, Sink &sink)
{
    qsizetype runStart = 0;
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const uchar byte = uchar(bytes[i]);
        const bool partOfCommand = m_state != State::Data || byte == IAC;
        switch (m_state) {
        case State::Data:
            if (byte == IAC) {
                if (i > runStart)
                    sink.data(bytes.mid(runStart, i - runStart));
                m_state = State::AfterIac;
            }
            break;
        case State::AfterIac:
            afterIac(byte, sink);
            break;
        case State::OptionByte:
            optionByte(byte, sink);
            break;
        case State::SubOption:
            insideSubOption(byte, sink);
            break;
        }
        if (partOfCommand)
            runStart = i + 1;
    }
    if (m_state == State::Data && runStart < bytes.size())
        sink.data(bytes.mid(runStart));
}

void TelnetParser::afterIac(uchar byte, Sink &sink)
{
    if (byte == IAC) {
        sink.data(QByteArray(1, char(IAC)));
        m_state = State::Data;
    } else if (byte < SB) {
        sink.command(byte);
        m_state = State::Data;
    } else {
        m_verb = byte;
        m_state = State::OptionByte;
    }
}

void TelnetParser::optionByte(uchar byte, Sink &sink)
{
    if (m_verb == SB) {
        m_subOption = QByteArray("\xff\xfa", 2) + char(byte);
        m_state = State::SubOption;
        return;
    }
    sink.option(m_verb, byte);
    m_state = State::Data;
}

void TelnetParser::insideSubOption(uchar byte, Sink &sink)
{
    // SE ends the sub-negotiation even without the IAC that should precede it.
    if (byte == SE) {
        sink.subOption(std::exchange(m_subOption, QByteArray()));
        m_state = State::Data;
        return;
    }
    if (m_subOption.size() >= kMaxSubOption) {
        sink.subOptionTooLong();
        return;
    }
    m_subOption.append(char(byte));
}
