#pragma once

#include <QString>

// The message of the error E that call raises; "(nothing raised)" when it raises none.
template<class E, class Call>
QString thrownMessage(Call &&call)
{
    try {
        call();
    } catch (const E &error) {
        return error.message();
    }
    return QStringLiteral("(nothing raised)");
}
