#pragma once

#include <QObject>
#include <QStringList>
#include <QTimer>

class Device;
class TftpClient;

// What an intermediate image does once it runs: it waits until its configuration holds
// the upgrade's parameters (the community open, the unit count and DHCP mark in sysContact,
// the PC's address in sysLocation), fetches the final image from the PC over TFTP into the
// slot it runs from, reports "Step N: ..." texts in sysContact, then a "last " text, and
// resets once the manager acknowledges by writing sysContact empty.
class SelfUpgrade final : public QObject
{
    Q_OBJECT

public:
    explicit SelfUpgrade(Device &device, QObject *parent = nullptr);

private:
    void tryStart();
    void fetched(bool ok);
    void report();
    void contactRead();
    void stop(const QString &text);
    void setContact(const QString &text);
    void acknowledged();

    Device &m_device;
    enum class State { WaitingForParameters, Fetching, Reporting, WaitingForAcknowledgement, Stopped };
    State m_state = State::WaitingForParameters;
    TftpClient *m_client = nullptr;
    QString m_server;
    QStringList m_steps;
    qsizetype m_reported = 0;
    int m_readsOfThisReport = 0;
    QTimer m_timer;
};
