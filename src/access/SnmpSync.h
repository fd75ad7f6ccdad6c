#pragma once

#include "access/SnmpClient.h"

// Blocking single-object reads and writes over the SNMP manager, for the final upgrade run
// that watches the switch. Every wait runs on the calling (user-interface) thread and pumps
// its events between short sleeps, so the answer arrives through the manager's own event.
// Results are texts: the value, a status text beginning "Sync: ", or "timeout".
class TSNMP final : public TSNMPClient
{
    Q_OBJECT

public:
    explicit TSNMP(QObject *owner = nullptr);

    // Send attempts per operation.
    int NumOfRetries() const { return m_numOfRetries; }
    void SetNumOfRetries(int value) { m_numOfRetries = value; }
    // Milliseconds between two looks for the answer; an attempt waits 8000 div this many
    // rounds. Below 1 it counts as 1.
    int ResponseSamplingInterval() const { return m_samplingInterval; }
    void SetResponseSamplingInterval(int value) { m_samplingInterval = std::max(1, value); }
    // The enterprise number that replaces 89 in private object identifiers, kept with a
    // final ".".
    QString privateMIB() const { return m_privateMib; }
    void SetprivateMIB(const QString &value);

    // Reads oid + ".0" into result: the value, a status text, or "timeout". With no attempts
    // allowed nothing is sent and result keeps what it held.
    void GetValue(const QString &oid, QString &result);
    // Writes oid + ".0" with the value's bytes; true when the switch answered with status 0.
    // An answer with an error is sent again while attempts remain.
    bool SetValue(int valueType, const QString &oid, const QString &value);

    QString TranslateOid(const QString &oid) const;
    static QString ErrorStatusText(quint32 status);
    static int ValueTypeToTag(int code);

    // What the last answer said.
    QString LastValue() const { return m_lastValue; }
    QString LastObjId() const { return m_lastObjId; }
    QString LastSetStatus() const { return m_lastSetStatus; }
    quint32 LastErrorStatus() const { return m_lastErrorStatus; }
    bool LastSetOk() const { return m_lastSetOk; }

private:
    bool WaitForResponse();
    void NextRequestId();
    void getResponse(quint16 errorStatus);
    void setResponse(quint16 errorStatus);

    int m_numOfRetries = 3;
    int m_samplingInterval = 1;
    QString m_privateMib;

    QString m_lastValue;
    QString m_lastObjId;
    QString m_lastSetStatus;
    quint32 m_lastErrorStatus = 0;
    bool m_lastSetOk = false;
    int m_requestCounter = 1;
    bool m_responseReceived = false;
};
