#pragma once

#include <QString>

// Where the build put the programs that tests start as peers.
inline QString binPath(const QString &program)
{
    return QStringLiteral(TESSARO_BIN_DIR "/") + program;
}
