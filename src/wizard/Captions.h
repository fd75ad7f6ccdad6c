#pragma once

#include <QString>

class QAbstractButton;

// A caption as an assistive tool reads it: "&Next >" is "Next >", "&&" an ampersand.
QString captionName(const QString &caption);

// Sets a button's caption and the accessible name that goes with it.
void setCaption(QAbstractButton *button, const QString &caption);
