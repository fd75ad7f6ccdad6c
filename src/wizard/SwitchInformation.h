#pragma once

class QGroupBox;
class QPlainTextEdit;
class QWidget;

// The "Switch information" group of the parameter pages around their MemoInfo: read-only,
// fixed pitch and without word wrap, so that the inventory's columns line up.
QGroupBox *switchInformationGroup(QPlainTextEdit *memo, QWidget *parent);
