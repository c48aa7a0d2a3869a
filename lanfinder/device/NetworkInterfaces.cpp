#include "device/NetworkInterfaces.h"

#include <QDebug>
#include <QTextCodec>

#include <arpa/inet.h>

#include <mutex>
#include <regex>
#include <stdexcept>

namespace {

std::mutex factoryLock;
NetworkConfigFactory currentFactory;

std::unique_ptr<inetwork_config> makeConfig() {
    NetworkConfigFactory factory;
    {
        std::lock_guard<std::mutex> guard(factoryLock);
        factory = currentFactory;
    }
    if (factory) {
        return factory();
    }
    return std::make_unique<network_config>();
}

// The display name as it fits a 64-byte buffer with its terminating NUL in
// the local character set, cut before the first character that would not
// fit rather than through the middle of one.
QString fittedName(const std::wstring& friendlyName) {
    constexpr int capacity = 63;
    const QString name = QString::fromStdWString(friendlyName);
    QTextCodec* codec = QTextCodec::codecForLocale();
    QByteArray bytes;
    for (int i = 0; i < name.size();) {
        const int length = (name.at(i).isHighSurrogate() && i + 1 < name.size()) ? 2 : 1;
        const QByteArray piece = codec->fromUnicode(name.mid(i, length));
        if (bytes.size() + piece.size() > capacity) {
            break;
        }
        bytes += piece;
        i += length;
    }
    return codec->toUnicode(bytes);
}

QString macText(const std::array<std::uint8_t, 8>& mac) {
    QStringList pairs;
    for (int i = 0; i < 6; ++i) {
        pairs << QStringLiteral("%1").arg(mac[i], 2, 16, QLatin1Char('0')).toUpper();
    }
    return pairs.join(QLatin1Char(':'));
}

QString dotted(std::uint32_t networkOrder) {
    in_addr address{};
    address.s_addr = networkOrder;
    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &address, text, sizeof text);
    return QString::fromLatin1(text);
}

bool isCameraPort(const QString& name) {
    static const std::regex cameraPort("^cam(1|2|3|4)$", std::regex::ECMAScript);
    return std::regex_search(name.toStdString(), cameraPort);
}

}  // namespace

QVector<NIC> nicsFromAdapters(const std::vector<network_adapter>& adapters) {
    QVector<NIC> cards;
    for (const auto& adapter : adapters) {
        const QString name = fittedName(adapter.friendlyName);
        if (isCameraPort(name)) {
            continue;
        }
        NIC card;
        card.mac.set(macText(adapter.mac));
        card.name.set(name);
        card.interfaceIndex = adapter.index;
        QVector<NIC::Address> addresses;
        for (const auto& entry : adapter.addresses) {
            addresses.append(NIC::Address(dotted(entry.address), dotted(entry.mask)));
        }
        card.addresses.set(addresses);
        card.gateways.set({dotted(adapter.gateway)});
        cards.append(card);
    }
    return cards;
}

QVector<NIC> queryNetworkInterfaces() {
    std::vector<network_adapter> adapters;
    try {
        if (const auto config = makeConfig()) {
            adapters = config->adapters();
        }
    } catch (const std::exception& e) {
        // Callers carry on with no cards rather than fail.
        qWarning().noquote() << "Cannot read the network cards: " + QString::fromUtf8(e.what());
    }
    if (adapters.empty()) {
        qDebug() << "No network configuration found";
    }
    return nicsFromAdapters(adapters);
}

void setNetworkConfigFactory(NetworkConfigFactory factory) {
    std::lock_guard<std::mutex> guard(factoryLock);
    currentFactory = std::move(factory);
}
