#include "FuzzCheck.h"

#include "access/Ber.h"
#include "access/SnmpMessage.h"

// Whatever the decoder accepts, the encoder writes back in a form that decodes to the same
// message; the same holds for the basic values taken from the whole input as one content.

namespace {

bool sameVariables(const QList<Snmp::Variable> &a, const QList<Snmp::Variable> &b)
{
    if (a.size() != b.size())
        return false;
    for (qsizetype i = 0; i < a.size(); ++i) {
        if (a[i].id != b[i].id || a[i].type != b[i].type || a[i].value != b[i].value)
            return false;
    }
    return true;
}

bool sameMessage(const Snmp::Message &a, const Snmp::Message &b)
{
    return a.version == b.version && a.community == b.community && a.pdu == b.pdu && a.requestId == b.requestId
           && a.errorStatus == b.errorStatus && a.errorIndex == b.errorIndex && a.nonRepeaters == b.nonRepeaters
           && a.maxRepetitions == b.maxRepetitions && a.enterprise == b.enterprise && a.agentAddress == b.agentAddress
           && a.genericTrap == b.genericTrap && a.specificTrap == b.specificTrap && a.timeStamp == b.timeStamp
           && sameVariables(a.variables, b.variables);
}

void checkMessage(QByteArrayView datagram)
{
    Snmp::Message message;
    if (Snmp::decodeMessage(datagram, message) != Snmp::DecodeResult::Ok)
        return;
    QByteArray encoded;
    FUZZ_CHECK(Snmp::encodeMessage(message, encoded));
    Snmp::Message again;
    FUZZ_CHECK(Snmp::decodeMessage(encoded, again) == Snmp::DecodeResult::Ok);
    FUZZ_CHECK(sameMessage(message, again));
}

void checkValues(QByteArrayView content)
{
    qint32 integer = 0;
    if (Ber::readInteger(content, integer) == Ber::Status::Ok) {
        qint32 again = 0;
        FUZZ_CHECK(Ber::readInteger(Ber::integerContent(integer), again) == Ber::Status::Ok && again == integer);
    }
    quint32 unsigned32 = 0;
    if (Ber::readUnsigned32(content, unsigned32) == Ber::Status::Ok) {
        quint32 again = 0;
        FUZZ_CHECK(Ber::readUnsigned32(Ber::unsigned32Content(unsigned32), again) == Ber::Status::Ok && again == unsigned32);
    }
    quint64 unsigned64 = 0;
    if (Ber::readUnsigned64(content, unsigned64) == Ber::Status::Ok) {
        quint64 again = 0;
        FUZZ_CHECK(Ber::readUnsigned64(Ber::unsigned64Content(unsigned64), again) == Ber::Status::Ok && again == unsigned64);
    }
    QString dotted;
    if (Ber::readOid(content, dotted) == Ber::Status::Ok) {
        QByteArray encoded;
        FUZZ_CHECK(Ber::oidContent(dotted, encoded));
        QString again;
        FUZZ_CHECK(Ber::readOid(encoded, again) == Ber::Status::Ok && again == dotted);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes = fuzzInput(data, size);
    checkMessage(bytes);
    checkValues(bytes);
    return 0;
}
