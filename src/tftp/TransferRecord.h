#pragma once

#include "tftp/TrivialFTPServer.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

// What a host knows of one transfer it granted: who asked for which file, how far it has
// come and how it ended. The upgrade procedure follows its switch's own transfers through
// these, and a run's report lists every image its switch was served.
struct TTransferRecord
{
    enum class State { Running, Completed, Failed };

    // Grants are numbered from 1 in the order the host made them.
    quint64 Id = 0;
    TPeerInfo Peer;
    // The full path the access check expanded the requested name to.
    QString FileName;
    bool Writing = false;
    State Status = State::Running;
    // Bytes moved so far; at the end, the position the transfer reached in its file.
    qint64 Bytes = 0;
    // A read's file size at the grant; 0 for a write.
    qint64 Size = 0;
    QDateTime Started;
    // Null while the transfer runs.
    QDateTime Ended;
    // Packets the server sent again after a silence of its peer.
    int Retransmissions = 0;
    // The file a completed write delivered, kept for an expected transfer only: the name it
    // landed under may be written again by another peer before the procedure reads it.
    QByteArray Received;

    bool ended() const { return Status != State::Running; }
};
