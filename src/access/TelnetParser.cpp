#include "access/TelnetParser.h"

void TelnetParser::feed(const QByteArray &bytes, Sink &sink)
{
    qsizetype runStart = 0;
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const uchar byte = uchar(bytes[i]);
        const bool partOfCommand = m_state != 0 || byte == IAC;
        switch (m_state) {
        case 0:
            if (byte == IAC) {
                if (i > runStart)
                    sink.data(bytes.mid(runStart, i - runStart));
                m_state = 1;
            }
            break;
        case 1:
            afterIac(byte, sink);
            break;
        case 2:
            optionByte(byte, sink);
            break;
        default:
            insideSubOption(byte, sink);
            break;
        }
        if (partOfCommand)
            runStart = i + 1;
    }
    if (m_state == 0 && runStart < bytes.size())
        sink.data(bytes.mid(runStart));
}

void TelnetParser::afterIac(uchar byte, Sink &sink)
{
    if (byte == IAC) {
        sink.data(QByteArray(1, char(IAC)));
        m_state = 0;
    } else if (byte < SB) {
        sink.command(byte);
        m_state = 0;
    } else {
        m_verb = byte;
        m_state = 2;
    }
}

void TelnetParser::optionByte(uchar byte, Sink &sink)
{
    if (m_verb == SB) {
        m_subOption = QByteArray("\xff\xfa", 2) + char(byte);
        m_state = 3;
        return;
    }
    sink.option(m_verb, byte);
    m_state = 0;
}

void TelnetParser::insideSubOption(uchar byte, Sink &sink)
{
    // SE ends the sub-negotiation even without the IAC that should precede it.
    if (byte == SE) {
        sink.subOption(std::exchange(m_subOption, QByteArray()));
        m_state = 0;
        return;
    }
    if (m_subOption.size() >= MaxSubOption) {
        sink.subOptionTooLong();
        return;
    }
    m_subOption.append(char(byte));
}
