#pragma once

#include <QByteArray>
#include <QStringList>
#include <QVector>

#include "device/NIC.h"

// The links that open the program's page from another computer: one per IPv4
// address of the computer's cards, in card order, each carrying the token.
QStringList remoteAccessLinks(const QVector<NIC>& cards, int port, const QByteArray& token);
