#include "access/SnmpSync.h"

#include "access/Ber.h"
#include "platform/MessagePump.h"

#include <QScopeGuard>

namespace {

constexpr int kAttemptBudgetMs = 8000;
const QString kPrivatePrefix = QStringLiteral("1.3.6.1.4.1.89.");

using ResponseHandler = decltype(TSNMPClient::OnGetResponse);

} // namespace

TSNMP::TSNMP(QObject *owner) : TSNMPClient(owner) {}

void TSNMP::SetprivateMIB(const QString &value)
{
    m_privateMib = value;
    if (!m_privateMib.isEmpty() && !m_privateMib.endsWith(u'.'))
        m_privateMib += u'.';
}

QString TSNMP::TranslateOid(const QString &oid) const
{
    if (m_privateMib.isEmpty() || !oid.startsWith(kPrivatePrefix))
        return oid;
    return QStringLiteral("1.3.6.1.4.1.") + m_privateMib + oid.mid(kPrivatePrefix.size());
}

QString TSNMP::ErrorStatusText(quint32 status)
{
    QString text;
    switch (status) {
    case 0: text = QStringLiteral("[OK]"); break;
    case 1: text = QStringLiteral("[ERROR: tooBig (1)]"); break;
    case 2: text = QStringLiteral("[ERROR: noSuchName (2)]"); break;
    case 3: text = QStringLiteral("[ERROR: badValue (3)]"); break;
    case 4: text = QStringLiteral("[ERROR: readOnly (4)]"); break;
    case 5: text = QStringLiteral("[ERROR: genError (5)]"); break;
    default: text = QStringLiteral("[ERROR: unknown code (%1)]").arg(status); break;
    }
    return QStringLiteral("Sync: ") + text;
}

int TSNMP::ValueTypeToTag(int code)
{
    switch (code) {
    case 1:
    case 2: return Ber::OctetString;
    case 4: return Ber::ObjectIdentifier;
    case 5: return Ber::Null;
    case 6: return Ber::IpAddress;
    case 7:
    case 14: return Ber::Counter32;
    case 8: return Ber::Gauge32;
    case 9: return Ber::UInteger32;
    case 10: return Ber::TimeTicks;
    case 11: return Ber::Opaque;
    case 12: return Ber::NsapAddress;
    case 13: return Ber::Counter64;
    default: return Ber::Integer;
    }
}

bool TSNMP::WaitForResponse()
{
    return Platform::pumpingWait(kAttemptBudgetMs / m_samplingInterval, m_samplingInterval,
                                 [this] { return m_responseReceived; });
}

// The manager has taken one id per attempt; the next operation starts from the counter.
void TSNMP::NextRequestId()
{
    ++m_requestCounter;
    SetRequestId(m_requestCounter);
}

void TSNMP::GetValue(const QString &oid, QString &result)
{
    SetObjCount(1);
    SetObjId(1, TranslateOid(oid) + QStringLiteral(".0"));
    const ResponseHandler saved = std::exchange(OnGetResponse, [this](int, const QByteArray &, quint16 status, quint16, const QString &, quint16) {
        getResponse(status);
    });
    const auto restore = qScopeGuard([this, &saved] {
        OnGetResponse = saved;
        NextRequestId();
    });
    m_responseReceived = false;
    for (int attempt = 1; attempt <= m_numOfRetries; ++attempt) {
        SetAction(snmpSendGetRequest);
        m_lastValue.clear();
        if (WaitForResponse()) {
            result = m_lastValue;
            return;
        }
        result = QStringLiteral("timeout");
    }
}

bool TSNMP::SetValue(int valueType, const QString &oid, const QString &value)
{
    const ResponseHandler saved = std::exchange(OnGetResponse, [this](int, const QByteArray &, quint16 status, quint16, const QString &, quint16) {
        setResponse(status);
    });
    const auto restore = qScopeGuard([this, &saved] {
        OnGetResponse = saved;
        NextRequestId();
    });
    bool result = false;
    SetObjCount(1);
    SetObjId(1, TranslateOid(oid) + QStringLiteral(".0"));
    SetObjType(1, ValueTypeToTag(valueType));
    SetObjValue(1, value.toLatin1());
    m_lastSetOk = false;
    for (int attempt = 1; attempt <= m_numOfRetries && !result; ++attempt) {
        m_responseReceived = false;
        SetAction(snmpSendSetRequest);
        WaitForResponse();
        result = m_lastSetOk;
    }
    return result;
}

// An answer without variables (a stray datagram, a tooBig without its list) reads as an
// empty identifier and value instead of failing inside the socket notification.
void TSNMP::getResponse(quint16 errorStatus)
{
    m_responseReceived = true;
    const bool hasVariable = ObjCount() > 0;
    m_lastValue = ErrorStatusText(errorStatus);
    m_lastObjId = hasVariable ? ObjId(1) : QString();
    if (errorStatus == 0)
        m_lastValue = hasVariable ? QString::fromLatin1(ObjValue(1)) : QString();
    m_lastErrorStatus = errorStatus;
}

void TSNMP::setResponse(quint16 errorStatus)
{
    m_responseReceived = true;
    m_lastValue = ErrorStatusText(errorStatus);
    m_lastSetOk = errorStatus == 0;
    m_lastSetStatus = m_lastSetOk ? QStringLiteral("OK") : m_lastValue;
    m_lastErrorStatus = errorStatus;
}
