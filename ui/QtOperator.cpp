#include "ui/QtOperator.h"

#include "ui/TOKBottomDlg.h"

#include <QCoreApplication>

void QtOperator::ShowMessageBox(const std::string& text) { box_.ShowMessage(Q(text)); }

void QtOperator::ProcessEvents() { QCoreApplication::processEvents(); }
