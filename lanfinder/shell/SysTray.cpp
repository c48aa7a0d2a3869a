#include "shell/SysTray.h"

#include <QAction>
#include <QDebug>
#include <QIcon>
#include <QMenu>

#include "shell/Resources.h"

SysTray::SysTray(QObject* parent) : SysTray(&QSystemTrayIcon::isSystemTrayAvailable, parent) {}

SysTray::SysTray(const std::function<bool()>& trayAvailable, QObject* parent) : QObject(parent) {
    if (!trayAvailable()) {
        const QString text = QStringLiteral("SysTray: No System Tray support available");
        qDebug().noquote() << text;
        throw text;
    }
    initShellResources();

    quitAction_ = new QAction(tr("&Quit"), this);
    showViewAction_ = new QAction(tr("&Show View"), this);
    showLogWindowAction_ = new QAction(tr("&Show Log Window"), this);
    showLogFolderAction_ = new QAction(tr("&Show Log Folder"), this);
    connect(quitAction_, &QAction::triggered, this, &SysTray::requestApplicationClose);
    connect(showViewAction_, &QAction::triggered, this, &SysTray::requestShowBrowser);
    connect(showLogWindowAction_, &QAction::triggered, this, &SysTray::requestShowLogWidget);
    connect(showLogFolderAction_, &QAction::triggered, this, &SysTray::requestShowLogFolder);

    trayIcon_ = new QSystemTrayIcon(this);
    trayIcon_->setIcon(QIcon(QStringLiteral(":/resources/images/lanfinder.ico")));
    trayIcon_->setToolTip(QStringLiteral("vostrel Discovery Tool"));
    trayIcon_->setVisible(true);

    menu_ = std::make_unique<QMenu>();
    trayIcon_->setContextMenu(menu_.get());
    menu_->addAction(showViewAction_);
    menu_->addAction(showLogWindowAction_);
    menu_->addAction(showLogFolderAction_);
    separator_ = menu_->addSeparator();
    menu_->addAction(quitAction_);

    connect(trayIcon_, &QSystemTrayIcon::activated, this, &SysTray::onActivated);
}

void SysTray::addRemoteAccessEntry() {
    if (copyRemoteLinkAction_) {
        return;
    }
    copyRemoteLinkAction_ = new QAction(tr("Copy remote access link"), this);
    connect(copyRemoteLinkAction_, &QAction::triggered, this,
            &SysTray::requestCopyRemoteAccessLink);
    menu_->insertAction(separator_, copyRemoteLinkAction_);
}

SysTray::~SysTray() {
    // The icon goes before the menu it points to.
    delete trayIcon_;
    trayIcon_ = nullptr;
}

void SysTray::onActivated(QSystemTrayIcon::ActivationReason reason) {
    if (reason == QSystemTrayIcon::DoubleClick) {
        emit requestShowBrowser();
    }
}
