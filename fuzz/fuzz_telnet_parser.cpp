#include "FuzzCheck.h"

#include "access/TelnetParser.h"

#include <QList>

// The parser keeps its state between feeds, so the events must not depend on where the
// socket cut the stream: fed whole, split in two at any byte, or one byte at a time.

namespace {

// The events, each a tag byte and its bytes. A run of data may reach the sink in any number
// of pieces, so adjacent data is merged and empty pieces are dropped.
class Recorder final : public TelnetParser::Sink
{
public:
    QList<QByteArray> events;

    void data(const QByteArray &text) override
    {
        if (text.isEmpty())
            return;
        if (!events.isEmpty() && events.last().startsWith('d'))
            events.last() += text;
        else
            events << 'd' + text;
    }
    void command(int code) override { events << QByteArray("c") + char(code); }
    void option(int verb, int code) override { events << QByteArray("o") + char(verb) + char(code); }
    void subOption(const QByteArray &bytes) override { events << 's' + bytes; }
    void subOptionTooLong() override { events << QByteArray("t"); }
};

// The events for the bytes fed in pieces of the given lengths, the rest in one last piece.
QList<QByteArray> parsed(const QByteArray &bytes, const QList<qsizetype> &pieces)
{
    TelnetParser parser;
    Recorder recorder;
    qsizetype at = 0;
    for (const qsizetype length : pieces) {
        parser.feed(QByteArray::fromRawData(bytes.constData() + at, length), recorder);
        at += length;
    }
    parser.feed(QByteArray::fromRawData(bytes.constData() + at, bytes.size() - at), recorder);
    return recorder.events;
}

// Two-piece cuts per input, spread evenly; the one-byte pieces cut it everywhere at once.
constexpr qsizetype kMaxCuts = 16;

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes = fuzzInput(data, size);
    const QList<QByteArray> whole = parsed(bytes, {});

    const qsizetype step = qMax<qsizetype>(1, bytes.size() / kMaxCuts);
    for (qsizetype cut = 1; cut < bytes.size(); cut += step)
        FUZZ_CHECK(parsed(bytes, {cut}) == whole);

    FUZZ_CHECK(parsed(bytes, QList<qsizetype>(bytes.size(), 1)) == whole);
    return 0;
}
