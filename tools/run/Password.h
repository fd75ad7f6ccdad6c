#pragma once

#include <QString>

struct TPasswordInput
{
    QString Password;
    // Why no password could be had, for the operator; empty when one was.
    QString Error;
};

// The switch's password from the first line of passwordFile when one is named, else from the
// environment variable TESSARO_PASSWORD, else typed without echo on the terminal (standard
// input), prompting for userName@switchAddress. Never from the command line.
TPasswordInput readPassword(const QString &passwordFile, const QString &userName, const QString &switchAddress);
